#include "common/win/service.h"

#include "common/win/sys.h"

bool QueryServiceState(SC_HANDLE service, DWORD* state) {
  SERVICE_STATUS status;
  status.dwCurrentState = 0;
  if (sys::ControlService(service, SERVICE_CONTROL_INTERROGATE, &status)) {
    *state = status.dwCurrentState;
    return true;
  }
  if (GetLastError() == ERROR_SERVICE_NOT_ACTIVE) {
    *state = SERVICE_STOPPED;
    return true;
  }
  return false;
}

bool WaitForServiceState(SC_HANDLE service, DWORD wanted) {
  for (int check = 0; check < 10; check++) {
    Sleep(1000);
    DWORD state;
    if (QueryServiceState(service, &state) && state == wanted) return true;
  }
  return false;
}
