#include "install/logic/driver_entry.h"

#include "common/format/install_script.h"
#include "common/format/version.h"

#include <string.h>

unsigned SplitDriverLine(char* line, DriverEntry* entry) {
  const char** fields[4] = {&entry->platform, &entry->name, &entry->source, &entry->displayName};
  for (unsigned i = 0; i < 4; i++) *fields[i] = nullptr;
  TokenSplit split(line);
  unsigned found = 0;
  while (found < 4) {
    char* token = split.Next();
    if (!token) break;
    *fields[found++] = token;
  }
  return found;
}

bool DriverForPlatform(const char* code, bool win98, bool winNT4, bool win2000) {
  return (win98 && strcmp(code, "98") == 0) || (winNT4 && strcmp(code, "NT") == 0) ||
         (win2000 && strcmp(code, "W2") == 0);
}

bool DriverCopyNeeded(bool installedReadable, const unsigned installed[4], const unsigned source[4]) {
  return !installedReadable || CompareVersions(installed, source) < 0;
}

bool BuildDriverPath(PathText& out, const char* windowsDir, const char* name) {
  out.clear();
  bool ok = out.Append(windowsDir) && out.EnsureBackslash() && out.Append("System32\\Drivers\\") &&
            out.Append(name) && out.Append(".sys");
  if (!ok) out.clear();
  return ok;
}

bool BuildImagePath(PathText& out, const char* name) {
  out.clear();
  bool ok = out.Append("\\SystemRoot\\System32\\Drivers\\") && out.Append(name) && out.Append(".sys");
  if (!ok) out.clear();
  return ok;
}

bool BuildServiceKey(PathText& out, const char* name) {
  out.clear();
  bool ok = out.Append("System\\CurrentControlSet\\Services\\") && out.Append(name);
  if (!ok) out.clear();
  return ok;
}
