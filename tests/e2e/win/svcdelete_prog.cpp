// Asks the service manager to delete a service and writes what it answered to a file:
// svcdelete <output file> <service name>. "deleted" when this request marked it, "marked"
// when it was marked for deletion already (ERROR_SERVICE_MARKED_FOR_DELETE), "none" when the
// service does not exist, or "error N". A test's way to read back that an earlier program
// marked a service that is still running.
#include <windows.h>

#include "uninstall/logic/command_tail.h"

namespace {

char* CommandTail() {
  // Into the platform's own buffer, which the program cuts up.
  char* line = GetCommandLineA();
  const char* tail = FindCommandTail(line);
  return tail ? line + (tail - line) : line + lstrlenA(line);
}

void Describe(DWORD error, char* text) {
  if (error == ERROR_SERVICE_MARKED_FOR_DELETE)
    lstrcpyA(text, "marked");
  else if (error == ERROR_SERVICE_DOES_NOT_EXIST)
    lstrcpyA(text, "none");
  else
    wsprintfA(text, "error %lu", error);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  char* tail = CommandTail();
  char* blank = tail;
  while (*blank && *blank != ' ') blank++;
  if (!*blank) return 1;
  *blank = 0;
  const char* outPath = tail;
  const char* name = blank + 1;
  char text[32];
  SC_HANDLE manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_CONNECT);
  if (!manager) {
    wsprintfA(text, "error %lu", GetLastError());
  } else {
    SC_HANDLE service = OpenServiceA(manager, name, DELETE);
    if (!service) {
      Describe(GetLastError(), text);
    } else {
      if (DeleteService(service))
        lstrcpyA(text, "deleted");
      else
        Describe(GetLastError(), text);
      CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
  }
  HANDLE out = CreateFileA(outPath, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (out == INVALID_HANDLE_VALUE) return 2;
  DWORD written;
  WriteFile(out, text, lstrlenA(text), &written, NULL);
  CloseHandle(out);
  return 0;
}
