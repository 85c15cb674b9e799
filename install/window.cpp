// The main window: it starts the worker thread and the animation timer when it is created,
// hands resizing, painting and ticks to the background display, and ends the program when
// the worker's final close request destroys it. The worker thread runs the install
// sequence under a fault guard and then closes the uninstall script.
#include "install/window.h"

#include "common/win/sys.h"
#include "install/state.h"

HFONT TitleFont;
int ClientWidth, ClientHeight;

namespace {

// Set while the worker runs. A close request meanwhile is refused: closing would end the
// program in the middle of the sequence and leave a partial installation without its
// roll-back. The worker clears it just before it sends the close request of its own.
volatile LONG workerRunning;

// The worker's duties after the sequence, with its result; returns the result.
int FinishWorker(int result) {
  CloseUninstallScript(result);
  if (g.Payload) {
    HeapFree(GetProcessHeap(), 0, g.Payload);
    g.Payload = nullptr;
  }
  InterlockedExchange(const_cast<LONG*>(&workerRunning), 0);
  PostMessageA(g.MainWindow, WM_CLOSE, 0, 0);
  return result;
}

// --- The fault guard ----------------------------------------------------------------------
// A fault that escapes the sequence is offered to the platform's last-chance handling
// (UnhandledExceptionFilter); when that chooses to end the faulting code rather than resume
// it, the sequence's result is -1 and the worker still does its closing duties. Each
// platform's RunGuardedSequence returns the sequence's result, or -1 after such a fault.
// (Where a just-in-time debugger is registered, the last-chance handling hands the fault to
// it instead, and the debugger decides the process's fate, as for any other program.)
int RunGuardedSequence();

DWORD WINAPI WorkerThread(LPVOID) { return (DWORD)FinishWorker(RunGuardedSequence()); }

#if defined(__i386__)
// One registration record of the i386 frame-based exception scheme, put at the head of the
// worker's chain while the sequence runs, so that every handler of the platform's own
// frames has its say first. The frames above the record are unwound before the guard
// returns -1.
struct GuardRecord {
  GuardRecord* next;
  void* handler;
};

void* resumePoint[5];  // the __builtin_setjmp buffer of the guard
GuardRecord* volatile outerRecord;

GuardRecord* ChainHead() {
  GuardRecord* head;
  __asm__ __volatile__("movl %%fs:0, %0" : "=r"(head));
  return head;
}

void SetChainHead(GuardRecord* head) { __asm__ __volatile__("movl %0, %%fs:0" : : "r"(head) : "memory"); }

EXCEPTION_DISPOSITION __cdecl GuardHandler(EXCEPTION_RECORD* record, void* frame, CONTEXT* context, void*) {
  if (record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) return ExceptionContinueSearch;
  EXCEPTION_POINTERS pointers = {record, context};
  LONG verdict = UnhandledExceptionFilter(&pointers);
  if (verdict == EXCEPTION_CONTINUE_EXECUTION) return ExceptionContinueExecution;
  if (verdict != EXCEPTION_EXECUTE_HANDLER) return ExceptionContinueSearch;
  outerRecord = static_cast<GuardRecord*>(frame)->next;
  // RtlUnwind runs the unwind handlers of the frames above this record. It keeps none of
  // EBX, ESI and EDI for its caller, hence the call by hand.
  void* recordArg = record;
  void* frameArg = frame;
  __asm__ __volatile__(
      "pushl $0\n\t"
      "pushl %0\n\t"
      "pushl $0\n\t"
      "pushl %1\n\t"
      "call _RtlUnwind@16"
      : "+a"(recordArg), "+c"(frameArg)
      :
      : "edx", "ebx", "esi", "edi", "memory", "cc");
  SetChainHead(outerRecord);
  __builtin_longjmp(resumePoint, 1);
}

__attribute__((noinline)) int RunGuardedSequence() {
  GuardRecord record;
  record.handler = reinterpret_cast<void*>(GuardHandler);
  record.next = ChainHead();
  if (__builtin_setjmp(resumePoint)) return kSequenceFaulted;
  SetChainHead(&record);
  int result = RunInstallSequence();
  SetChainHead(record.next);
  return result;
}

#else
// 64-bit Windows unwinds by tables that this compiler does not let us extend by hand: the
// guard is a last-chance filter instead, called from UnhandledExceptionFilter when a fault
// reaches the top of the worker's stack. It takes only the worker's faults, and resumes the
// worker below its own frame in code that does the closing duties and ends the thread.
DWORD workerId;
volatile LONG guarding;
char* resumeStack;

__attribute__((noreturn)) void FinishAfterFault() { ExitThread((DWORD)FinishWorker(-1)); }

LONG WINAPI GuardFilter(EXCEPTION_POINTERS* pointers) {
  if (!guarding || GetCurrentThreadId() != workerId) return EXCEPTION_CONTINUE_SEARCH;
  guarding = 0;
  CONTEXT* context = pointers->ContextRecord;
  // As if just called: 8 bytes off a 16-byte boundary, with room above for the home area.
  context->Rsp = ((DWORD64)(resumeStack - 64) & ~(DWORD64)15) - 8;
  context->Rip = (DWORD64)FinishAfterFault;
  return EXCEPTION_CONTINUE_EXECUTION;
}

__attribute__((noinline)) int RunGuardedSequence() {
  char anchor[16];
  resumeStack = anchor;
  workerId = GetCurrentThreadId();
  SetUnhandledExceptionFilter(GuardFilter);
  guarding = 1;
  int result = RunInstallSequence();
  guarding = 0;
  return result;
}
#endif

LRESULT OnCreate(HWND window) {
  g.MainWindow = window;
  TitleFont = CreateFontA(40, 40, 450, 0, 700, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                          CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, "Times New Roman");
  workerRunning = 1;
  DWORD id;
  HANDLE worker = sys::CreateThread(NULL, 0, WorkerThread, NULL, 0, &id);
  if (!worker) {
    workerRunning = 0;
    ReportInternalError(kWorkerNotStarted);
    return 0;
  }
  CloseHandle(worker);
  RECT client;
  GetClientRect(window, &client);
  ClientWidth = client.right;
  ClientHeight = client.bottom;
  BackgroundCreate(window);
  SetTimer(window, 1, 50, NULL);
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_LOWEST);
  return 0;
}

}  // namespace

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      return OnCreate(window);
    case WM_DESTROY:
      if (TitleFont) {
        DeleteObject(TitleFont);
        TitleFont = NULL;
      }
      KillTimer(window, 1);
      PostQuitMessage(0);
      return 0;
    case WM_CLOSE:
      if (workerRunning) return 0;
      break;
    // Each background handler answers false when it got no device context; the message
    // then goes to the default processing.
    case WM_SIZE:
      // The background display stores the new size once it has erased the old figure.
      if (BackgroundResize(window, LOWORD(lParam), HIWORD(lParam))) return 0;
      break;
    case WM_PAINT:
      if (BackgroundPaint(window)) return 0;  // inside its own BeginPaint/EndPaint
      break;
    case WM_TIMER:
      if (BackgroundTick(window)) return 0;
      break;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}
