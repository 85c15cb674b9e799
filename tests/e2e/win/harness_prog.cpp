// The harness's own test program: shows what the end-to-end tests of the harness drive.
// Command tail (first word):
//   box        a question box "Hello from the harness\r\nsecond line", caption "Harness",
//              OK and Cancel; the exit code is the button (IDOK 1, IDCANCEL 2)
//   two        two boxes one after the other, "first" then "second"; exit 0
//   version    a box "platform P version M.N" with what GetVersionExA reports; exit 0
//   dialog     dialog 100 (edit 101, check box 102, list 103 of alpha beta gamma); OK shows
//              "edit=<text> check=<0|1> list=<entry>" and ends with 0, Cancel ends with 2
//   child      starts "harness.exe box" and ends at once with 7
//   quiet      ends at once with 0, no window
//   wait MS    no window; sleeps MS milliseconds, then ends with 0
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "uninstall/logic/command_tail.h"

namespace {

const char* Tail() {
  const char* tail = FindCommandTail(GetCommandLineA());
  return tail ? tail : "";
}

bool Is(const char* tail, const char* word) {
  size_t n = strlen(word);
  return strncmp(tail, word, n) == 0 && (tail[n] == 0 || tail[n] == ' ');
}

INT_PTR CALLBACK DialogProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_INITDIALOG: {
      HWND list = GetDlgItem(dlg, 103);
      SendMessageA(list, LB_ADDSTRING, 0, (LPARAM) "alpha");
      SendMessageA(list, LB_ADDSTRING, 0, (LPARAM) "beta");
      SendMessageA(list, LB_ADDSTRING, 0, (LPARAM) "gamma");
      SetDlgItemTextA(dlg, 101, "start");
      return TRUE;
    }
    case WM_COMMAND:
      if (LOWORD(wp) == IDOK) {
        char edit[128], entry[64] = "", text[300];
        GetDlgItemTextA(dlg, 101, edit, sizeof edit);
        HWND list = GetDlgItem(dlg, 103);
        LRESULT sel = SendMessageA(list, LB_GETCURSEL, 0, 0);
        if (sel != LB_ERR) SendMessageA(list, LB_GETTEXT, sel, (LPARAM)entry);
        _snprintf(text, sizeof text, "edit=%s check=%d list=%s", edit, (int)IsDlgButtonChecked(dlg, 102), entry);
        text[sizeof text - 1] = 0;
        MessageBoxA(dlg, text, "Result", MB_OK);
        EndDialog(dlg, 0);
        return TRUE;
      }
      if (LOWORD(wp) == IDCANCEL) {
        EndDialog(dlg, 2);
        return TRUE;
      }
      if (LOWORD(wp) == 103 && HIWORD(wp) == LBN_SELCHANGE) {
        char entry[64] = "";
        LRESULT sel = SendMessageA((HWND)lp, LB_GETCURSEL, 0, 0);
        if (sel != LB_ERR) SendMessageA((HWND)lp, LB_GETTEXT, sel, (LPARAM)entry);
        SetDlgItemTextA(dlg, 104, entry);
        return TRUE;
      }
      return FALSE;
  }
  return FALSE;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  const char* tail = Tail();
  if (Is(tail, "box"))
    return MessageBoxA(NULL, "Hello from the harness\r\nsecond line", "Harness", MB_OKCANCEL | MB_ICONQUESTION);
  if (Is(tail, "two")) {
    MessageBoxA(NULL, "first", "Harness", MB_OK);
    MessageBoxA(NULL, "second", "Harness", MB_OK);
    return 0;
  }
  if (Is(tail, "version")) {
    OSVERSIONINFOA v;
    v.dwOSVersionInfoSize = sizeof v;
    GetVersionExA(&v);
    char text[100];
    _snprintf(text, sizeof text, "platform %lu version %lu.%lu", v.dwPlatformId, v.dwMajorVersion,
              v.dwMinorVersion);
    text[sizeof text - 1] = 0;
    MessageBoxA(NULL, text, "Version", MB_OK);
    return 0;
  }
  if (Is(tail, "dialog")) return (int)DialogBoxParamA(instance, MAKEINTRESOURCEA(100), NULL, DialogProc, 0);
  if (Is(tail, "child")) {
    char cmd[MAX_PATH + 16];
    DWORD n = GetModuleFileNameA(NULL, cmd + 1, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return 3;
    cmd[0] = '"';
    lstrcatA(cmd, "\" box");
    STARTUPINFOA si;
    ZeroMemory(&si, sizeof si);
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    if (!CreateProcessA(NULL, cmd, NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi)) return 4;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return 7;
  }
  if (Is(tail, "wait")) {
    Sleep(atoi(tail + 4));
    return 0;
  }
  if (Is(tail, "quiet")) return 0;
  return 99;
}
