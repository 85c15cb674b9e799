#pragma once
// Driver services, shared by the installer's driver step and the uninstaller.
#include <windows.h>

// Asks a service for its state with SERVICE_CONTROL_INTERROGATE. A service that is not
// running makes the interrogation fail with ERROR_SERVICE_NOT_ACTIVE while the platform
// still fills the status with SERVICE_STOPPED; that counts as a successful interrogation
// that reports stopped. True with *state set (SERVICE_STOPPED, SERVICE_RUNNING, ...), or
// false when the state cannot be had.
bool QueryServiceState(SC_HANDLE service, DWORD* state);

// Checks ten times, one second apart, whether the service reports the wanted state (an
// interrogation that fails counts as not yet). True as soon as it does; false after the
// tenth check without it, about ten seconds after the call.
bool WaitForServiceState(SC_HANDLE service, DWORD wanted);
