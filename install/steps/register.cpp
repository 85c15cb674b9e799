// The Add/Remove Programs entry and the uninstall script's registry and driver sections.
#include <string.h>

#include "common/win/sys.h"
#include "install/logic/registration.h"
#include "install/state.h"

namespace {

const char kCannotWrite[] = "Could not write uninstall file";

void SetText(HKEY key, const char* name, const char* text) {
  sys::RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                      static_cast<DWORD>(strlen(text) + 1));
}

// Creates or opens the entry and sets both values. Failures are silent: the product then
// simply does not appear in Add/Remove Programs. A command too long to build leaves the
// entry out rather than register a cut one.
void WriteEntry(const char* keyPath) {
  PathText command;
  if (!BuildUninstallCommand(command, g.UninstallerPath, g.UninstallScriptPath)) return;
  HKEY key;
  DWORD disposition;
  if (sys::RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, NULL, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, NULL, &key,
                           &disposition) != ERROR_SUCCESS)
    return;
  SetText(key, "DisplayName", g.AppName);
  SetText(key, "UninstallString", command);
  RegCloseKey(key);
}

}  // namespace

bool WriteDriverNames(HANDLE file) {
  unsigned i = 0;
  for (const char* name = g.DriverNames.First(); name; name = g.DriverNames.Next(name)) {
    if (i++ < g.DriversRecorded) continue;
    if (!WriteScriptLine(file, name)) return false;
    g.DriversRecorded++;
  }
  return true;
}

int RegisterUninstall() {
  HANDLE file = g.UninstallScript;
  PathText keyPath;
  bool haveKeyPath = BuildUninstallKeyPath(keyPath, g.AppName);
  DWORD pairStart = ScriptPosition(file);
  if (!WriteScriptLine(file, "HKLM")) return ShowWarning(kCannotWrite, kRegistryRootNotRecorded);
  // A key path that does not fit cannot be written to the uninstall script either. The
  // root goes again with it: alone it would take the next line for its key.
  if (!haveKeyPath || !WriteScriptLine(file, keyPath)) {
    CutScript(file, pairStart);
    return ShowWarning(kCannotWrite, kRegistryKeyNotRecorded);
  }
  WriteEntry(keyPath);
  if (!WriteScriptLine(file, ".")) return ShowWarning(kCannotWrite, kRegistrySectionNotClosed);
  g.RegistrySectionClosed = true;
  if (!WriteDriverNames(file)) return ShowWarning(kCannotWrite, kDriverNameNotRecorded);
  if (!WriteScriptLine(file, ".")) return ShowWarning(kCannotWrite, kDriverSectionNotClosed);
  return 0;
}
