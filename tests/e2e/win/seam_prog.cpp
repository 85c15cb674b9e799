// Proves the fault-injection seam apart from the shipped programs: opens its own executable
// twice through the platform wrappers and shows what each open gave, in one box captioned
// "Seam": "open 1: ok, open 2: error 5" and so on. Built twice (seam.exe, seam_ft.exe); only
// the fault-injection twin obeys ORV_FAULT. Exit code: the number of failed opens.
#include "common/win/sys.h"

#include <stdio.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  char self[MAX_PATH];
  DWORD n = GetModuleFileNameA(NULL, self, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return 100;
  char text[200] = "";
  int failed = 0;
  for (int i = 1; i <= 2; i++) {
    HANDLE h = sys::CreateFileA(self, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    char part[60];
    if (h == INVALID_HANDLE_VALUE) {
      _snprintf(part, sizeof part, "%sopen %d: error %lu", i > 1 ? ", " : "", i, GetLastError());
      failed++;
    } else {
      _snprintf(part, sizeof part, "%sopen %d: ok", i > 1 ? ", " : "", i);
      CloseHandle(h);
    }
    part[sizeof part - 1] = 0;
    lstrcatA(text, part);
  }
  MessageBoxA(NULL, text, "Seam", MB_OK);
  return failed;
}
