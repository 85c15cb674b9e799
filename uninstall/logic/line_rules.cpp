#include "uninstall/logic/line_rules.h"

#include <string.h>

namespace {

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// Length of a non-empty part before the next separator, or 0 when the part is empty or no
// separator ends it. The platform reads "/" as a separator as well as "\", so a server part
// "." or "?" cut off by "/" is the device or raw-path form all the same.
size_t PartBeforeSeparator(const char* p) {
  const char* end = strpbrk(p, "\\/");
  return end ? (size_t)(end - p) : 0;
}

}  // namespace

bool IsRemovablePath(const char* line) {
  if (IsLetter(line[0]) && line[1] == ':' && line[2] == '\\') return true;
  if (line[0] != '\\' || line[1] != '\\') return false;
  const char* server = line + 2;
  size_t serverLength = PartBeforeSeparator(server);
  if (serverLength == 0) return false;
  if (serverLength == 1 && (server[0] == '.' || server[0] == '?')) return false;
  return PartBeforeSeparator(server + serverLength + 1) != 0;
}

bool NamesSubkey(const char* key) {
  if (key[0] == 0 || key[0] == '\\') return false;
  for (const char* p = key; *p; p++)
    if (*p == '\\' && (p[1] == '\\' || p[1] == 0)) return false;
  return true;
}

bool IsDriverName(const char* name) { return name[0] != 0 && !strpbrk(name, "\\/"); }
