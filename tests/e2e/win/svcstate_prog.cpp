// Writes the current state of a service to a file: svcstate <output file> <service name>.
// The file receives the state number (1 stopped, 4 running, ...), "none" when the service
// does not exist, or "error N" with the last error.
#include <windows.h>

#include "tests/e2e/win/output_and_argument.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  const char* outPath;
  const char* name;
  if (!OutputAndArgument(&outPath, &name)) return 1;
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
  return WriteAnswer(outPath, text) ? 0 : 2;
}
