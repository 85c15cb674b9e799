#pragma once
#include <string>
#include <vector>
#include "tools/diagnostics.h"
#include "tools/pack.h"
// Checks the install script as the installer will read it and returns in *normalised the
// bytes to ship (code page 1252, CR LF). fileName is how diagnostics name it ("SCRIPT").
// payload: the packed files (names with backslashes), for shortcut/driver/option targets.
void CheckScript(const std::string& raw, const std::vector<PackEntry>& payload, const std::string& fileName, std::string* normalised, Diagnostics* diags);
// The licence: code page 1252, CR LF, ending with CR LF.
void CheckLicence(const std::string& raw, const std::string& fileName, std::string* normalised, Diagnostics* diags);
