#include "install/logic/registration.h"

bool BuildUninstallKeyPath(PathText& out, const char* appName) {
  out.clear();
  bool ok = out.Append("Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall") && out.EnsureBackslash() &&
            out.Append(appName);
  if (!ok) out.clear();
  return ok;
}

bool BuildUninstallCommand(PathText& out, const char* uninstallerPath, const char* scriptPath) {
  out.clear();
  bool ok = out.Append(uninstallerPath) && out.AppendChar(' ') && out.Append(scriptPath);
  if (!ok) out.clear();
  return ok;
}
