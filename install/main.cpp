// Program entry of install: the install script's header items, the window class and the
// maximised main window, then the message loop until the worker has closed the window.
#include "common/win/dll_guard.h"
#include "common/win/sys.h"
#include "install/logic/messages.h"
#include "install/script.h"
#include "install/state.h"
#include "install/window.h"
#include "resource.h"

InstallState g;

namespace {

// The writable copy of SCRIPT, followed by a NUL; lines handed out point into it for the
// rest of the run. Returns 0 or the internal error kScriptNotFound, kScriptNotLoaded or kScriptNotLocked.
int LoadScript(HINSTANCE instance) {
  HRSRC resource = sys::FindResourceA(instance, "SCRIPT", "FILES");
  if (!resource) return kScriptNotFound;
  HGLOBAL loaded = sys::LoadResource(instance, resource);
  if (!loaded) return kScriptNotLoaded;
  const void* data = sys::LockResource(loaded);
  if (!data) return kScriptNotLocked;
  DWORD size = sys::SizeofResource(instance, resource);
  char* text = static_cast<char*>(sys::HeapAlloc(GetProcessHeap(), 0, size + 1));
  if (!text) return kScriptNotLocked;
  CopyMemory(text, data, size);
  text[size] = 0;
  StartScript(text, size);
  return 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  GuardDllSearch();
  g.UninstallScript = INVALID_HANDLE_VALUE;
  int failure = LoadScript(instance);
  if (failure) return ReportInternalError(failure);
  if (int damaged = CheckPayload(instance)) return damaged;
  g.Instance = instance;

  const char** items[5] = {&g.PlatformsLine, &g.UninstallNameLine, &g.CompanyName, &g.AppName, &g.AppVersion};
  for (int i = 0; i < 5; i++) {
    *items[i] = NextScriptLine();
    if (!*items[i]) return ReportInternalError(kScriptEndsBeforeItem1 + i);
  }

  BuildSetupName(g.AppName, g.AppVersion, g.SetupName);
  TitleText title;
  BuildWindowTitle(g.CompanyName, g.SetupName, title);

  WNDCLASSEXA windowClass;
  ZeroMemory(&windowClass, sizeof windowClass);
  windowClass.cbSize = sizeof windowClass;
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = MainWindowProc;
  windowClass.hInstance = instance;
  windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_ORV));
  windowClass.hCursor = LoadCursorA(NULL, IDC_ARROW);
  windowClass.hbrBackground = CreateSolidBrush(RGB(255, 255, 153));
  windowClass.lpszClassName = g.AppName;
  if (!sys::RegisterClassExA(&windowClass)) return ReportInternalError(kRegisterClassFailed);

  HWND window = sys::CreateWindowExA(0, g.AppName, title, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                     CW_USEDEFAULT, CW_USEDEFAULT, NULL, NULL, instance, NULL);
  if (!window) return kWindowNotCreated;
  ShowWindow(window, SW_SHOWMAXIMIZED);
  UpdateWindow(window);

  MSG message;
  message.wParam = 0;
  while (GetMessageA(&message, NULL, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return (int)message.wParam;
}

// The global constructors (InstallState's members have some), run as the C runtime's start-up
// would: the linker gathers their addresses between a -1 and a 0 in __CTOR_LIST__, and they
// run from the last to the first. Doing it here spares the run-time library's routine, which
// also brings a destructor walk that this program never uses.
extern "C" void (*__CTOR_LIST__[])(void);

namespace {

void RunConstructors() {
  unsigned count = 0;
  while (__CTOR_LIST__[count + 1]) count++;
  for (; count > 0; count--) __CTOR_LIST__[count]();
}

}  // namespace

// Without the C runtime's start-up there is no atexit of its own either (msvcrt.dll's is not
// for programs to call), but the constructors register the globals' destructors with it. The
// program ends with ExitProcess, which runs no exit handlers: the destructors would only give
// back memory that the system takes back anyway. So registering does nothing.
extern "C" int __cdecl atexit(void (__cdecl*)(void)) { return 0; }

// The entry point. The program is linked without the C runtime's start-up code, which took
// a fifth of the program's size; of what it did only the global constructors are needed
// (the command line is not used: the install script says everything).
extern "C" void __stdcall InstallStart() {
  RunConstructors();
  ExitProcess((UINT)WinMain(GetModuleHandleA(NULL), NULL, NULL, SW_SHOWDEFAULT));
}
