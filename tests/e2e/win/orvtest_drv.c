/* A kernel-mode driver that does nothing: loads, sets its unload routine, and unloads.
   The end-to-end tests install it as a driver service and start and stop it. */
#include <ddk/wdm.h>

static void NTAPI OrvTestUnload(PDRIVER_OBJECT driver) { (void)driver; }

NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath) {
  (void)registryPath;
  driver->DriverUnload = OrvTestUnload;
  return STATUS_SUCCESS;
}
