// Writes the current state of a service to a file: svcstate <output file> <service name>.
// The file receives the state number (1 stopped, 4 running, ...), "none" when the service
// does not exist, or "error N" with the last error.
#include <windows.h>

#include "uninstall/logic/command_tail.h"

namespace {

char* CommandTail() {
  // Into the platform's own buffer, which the program cuts up.
  char* line = GetCommandLineA();
  const char* tail = FindCommandTail(line);
  return tail ? line + (tail - line) : line + lstrlenA(line);
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
    SC_HANDLE service = OpenServiceA(manager, name, SERVICE_QUERY_STATUS);
    if (!service) {
      DWORD error = GetLastError();
      if (error == ERROR_SERVICE_DOES_NOT_EXIST)
        lstrcpyA(text, "none");
      else
        wsprintfA(text, "error %lu", error);
    } else {
      SERVICE_STATUS status;
      if (QueryServiceStatus(service, &status))
        wsprintfA(text, "%lu", status.dwCurrentState);
      else
        wsprintfA(text, "error %lu", GetLastError());
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
