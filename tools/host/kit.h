#pragma once
// The kit's own files, found relative to the running program (host only).
#include <string>

// The kit's file `name` (install_stub.exe, uninstall.exe) found relative to the running
// program: win/NAME beside it (the build tree) or ../share/orv/NAME (an installed kit).
// "" when neither exists.
std::string KitFile(const std::string& name);
