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

// --- The fault guard ----------------------------------------------------------------------
// One registration record of the i386 frame-based exception scheme, put at the head of the
// worker's chain while the sequence runs. A fault that no inner handler takes is offered to
// the platform's last-chance handling; when that chooses to end the guarded code, the
// frames above the record are unwound and the guard returns -1.
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
  if (__builtin_setjmp(resumePoint)) return -1;
  SetChainHead(&record);
  int result = RunInstallSequence();
  SetChainHead(record.next);
  return result;
}

DWORD WINAPI WorkerThread(LPVOID) {
  int result = RunGuardedSequence();
  CloseUninstallScript(result);
  if (g.Payload) {
    HeapFree(GetProcessHeap(), 0, g.Payload);
    g.Payload = nullptr;
  }
  InterlockedExchange(const_cast<LONG*>(&workerRunning), 0);
  PostMessageA(g.MainWindow, WM_CLOSE, 0, 0);
  return (DWORD)result;
}

LRESULT OnCreate(HWND window) {
  g.MainWindow = window;
  TitleFont = CreateFontA(40, 40, 450, 0, 700, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                          CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, "Times New Roman");
  workerRunning = 1;
  DWORD id;
  HANDLE worker = sys::CreateThread(NULL, 0, WorkerThread, NULL, 0, &id);
  if (!worker) {
    workerRunning = 0;
    ReportInternalError(110);
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
    case WM_SIZE:
      // The background display stores the new size once it has erased the old figure.
      BackgroundResize(window, LOWORD(lParam), HIWORD(lParam));
      return 0;
    case WM_PAINT:
      BackgroundPaint(window);  // inside its own BeginPaint/EndPaint
      return 0;
    case WM_TIMER:
      BackgroundTick(window);
      return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}
