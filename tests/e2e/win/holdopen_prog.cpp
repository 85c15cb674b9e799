// Holds a file open without sharing, as another program using it would.
//
//   holdopen.exe FILE
//
// Opens FILE (which must exist) for reading with no sharing, then creates "FILE.held" to
// say so, and keeps the file open until "FILE.release" appears (or ten minutes pass).
// Exit code: 0 after a release, 1 when FILE cannot be opened, 2 on a time-out.
#include <windows.h>

#include "uninstall/logic/command_tail.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  const char* tail = FindCommandTail(GetCommandLineA());
  const char* p = tail ? tail : "";
  // The path may come quoted (it holds blanks): the quotes are not part of it.
  char path[MAX_PATH], held[MAX_PATH], release[MAX_PATH];
  int n = 0;
  for (; *p && n < MAX_PATH - 16; p++) {
    if (*p != '"') path[n++] = *p;
  }
  path[n] = 0;
  if (!n || *p) return 1;
  lstrcpyA(held, path);
  lstrcatA(held, ".held");
  lstrcpyA(release, path);
  lstrcatA(release, ".release");

  HANDLE file = CreateFileA(path, GENERIC_READ, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) return 1;
  HANDLE mark = CreateFileA(held, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (mark != INVALID_HANDLE_VALUE) CloseHandle(mark);
  for (int i = 0; i < 6000; i++) {
    if (GetFileAttributesA(release) != INVALID_FILE_ATTRIBUTES) {
      CloseHandle(file);
      return 0;
    }
    Sleep(100);
  }
  CloseHandle(file);
  return 2;
}
