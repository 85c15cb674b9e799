// Asks a program's main window to close while the program is busy, the way the user's
// close button would, and then lets the program finish by cancelling its dialogs.
// Command tail: CLASS, the class name of the main window.
//   1. waits (up to 60 s) for a visible top-level window of that class;
//   2. posts it WM_CLOSE and waits 3 s: exit 1 if the window is gone (the close was taken);
//   3. posts IDCANCEL to every visible dialog (#32770) of the window's process and waits
//      (up to 60 s) for the window to go: exit 0 when it has, 3 when it stays.
// Exit 2: no such window appeared.
#include <windows.h>

#include "uninstall/logic/command_tail.h"

namespace {

const char* Tail() {
  const char* tail = FindCommandTail(GetCommandLineA());
  return tail ? tail : "";
}

DWORD targetPid;

BOOL CALLBACK CancelDialogs(HWND window, LPARAM) {
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  char cls[16];
  if (pid == targetPid && IsWindowVisible(window) && GetClassNameA(window, cls, sizeof cls) &&
      lstrcmpA(cls, "#32770") == 0)
    PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  return TRUE;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  const char* cls = Tail();
  HWND main = NULL;
  for (int i = 0; i < 600 && !main; i++) {
    main = FindWindowA(cls, NULL);
    if (main && !IsWindowVisible(main)) main = NULL;
    if (!main) Sleep(100);
  }
  if (!main) return 2;
  PostMessageA(main, WM_CLOSE, 0, 0);
  Sleep(3000);
  if (!IsWindow(main)) return 1;
  GetWindowThreadProcessId(main, &targetPid);
  for (int i = 0; i < 600 && IsWindow(main); i++) {
    if (i % 10 == 0) EnumWindows(CancelDialogs, 0);
    Sleep(100);
  }
  return IsWindow(main) ? 3 : 0;
}
