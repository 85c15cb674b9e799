#pragma once
// The driver step's pure pieces: driver lines of the install script, which of them the
// running system takes, whether a driver file is replaced, and the paths and key names
// built from a driver name.
#include "common/fixed_text.h"

// A driver line, token split: platform code, driver name, source file (relative to the
// installation directory), display name. Empty fields do not exist; text after the fourth
// field's comma is ignored.
struct DriverEntry {
  const char* platform;
  const char* name;
  const char* source;
  const char* displayName;
};

// Splits up to four fields, cutting the line at the commas that end them. Returns how
// many fields were found (0 to 4); the entries beyond that are null.
unsigned SplitDriverLine(char* line, DriverEntry* entry);

// "98" for the Windows 98 flag, "NT" for Windows NT 4, "W2" for Windows 2000 and later;
// exact comparison. Every other code (among them "95") never matches.
bool DriverForPlatform(const char* code, bool win98, bool winNT4, bool win2000);

// Whether the source file replaces the installed driver file. An installed file without a
// readable version is replaced; otherwise the first differing part, most significant
// first, decides, and equal versions keep the installed file.
bool DriverCopyNeeded(bool installedReadable, const unsigned installed[4], const unsigned source[4]);

// windowsDir + "\" (unless it ends with one) + "System32\Drivers\" + name + ".sys".
bool BuildDriverPath(PathText& out, const char* windowsDir, const char* name);
// "\SystemRoot\System32\Drivers\" + name + ".sys".
bool BuildImagePath(PathText& out, const char* name);
// "System\CurrentControlSet\Services\" + name, below HKEY_LOCAL_MACHINE.
bool BuildServiceKey(PathText& out, const char* name);
