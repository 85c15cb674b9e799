// Asks the service manager to delete a service and writes what it answered to a file:
// svcdelete <output file> <service name>. "deleted" when this request marked it, "marked"
// when it was marked for deletion already (ERROR_SERVICE_MARKED_FOR_DELETE), "none" when the
// service does not exist, or "error N". A test's way to read back that an earlier program
// marked a service that is still running.
#include <windows.h>

#include "tests/e2e/win/output_and_argument.h"

namespace {

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
  const char* outPath;
  const char* name;
  if (!OutputAndArgument(&outPath, &name)) return 1;
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
  return WriteAnswer(outPath, text) ? 0 : 2;
}
