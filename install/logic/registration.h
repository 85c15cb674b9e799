#pragma once
// The Add/Remove Programs entry's pure pieces.
#include "common/fixed_text.h"

// "Software\Microsoft\Windows\CurrentVersion\Uninstall" + "\" + appName, below
// HKEY_LOCAL_MACHINE. False (and out empty) when it does not fit.
bool BuildUninstallKeyPath(PathText& out, const char* appName);

// The uninstall command: uninstaller path, one blank, uninstall script path; neither is
// quoted and no option is added. False (and out empty) when it does not fit.
bool BuildUninstallCommand(PathText& out, const char* uninstallerPath, const char* scriptPath);
