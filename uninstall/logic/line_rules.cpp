#include "uninstall/logic/line_rules.h"

#include <string.h>

namespace {

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// Length of a non-empty part before the next backslash, or 0 when the part is empty or
// no backslash ends it.
size_t PartBeforeBackslash(const char* p) {
  const char* end = strchr(p, '\\');
  return end ? (size_t)(end - p) : 0;
}

}  // namespace

bool IsRemovablePath(const char* line) {
  if (IsLetter(line[0]) && line[1] == ':' && line[2] == '\\') return true;
  if (line[0] != '\\' || line[1] != '\\') return false;
  const char* server = line + 2;
  size_t serverLength = PartBeforeBackslash(server);
  if (serverLength == 0) return false;
  if (serverLength == 1 && (server[0] == '.' || server[0] == '?')) return false;
  return PartBeforeBackslash(server + serverLength + 1) != 0;
}

bool NamesSubkey(const char* key) {
  if (key[0] == 0 || key[0] == '\\') return false;
  for (const char* p = key; *p; p++)
    if (*p == '\\' && (p[1] == '\\' || p[1] == 0)) return false;
  return true;
}

bool IsDriverName(const char* name) { return name[0] != 0 && !strpbrk(name, "\\/"); }
