#include "install/logic/folder_paths.h"

#include <string.h>

bool HasBackslash(const char* text) { return strchr(text, '\\') != nullptr; }

bool IsEmptyFolderName(const char* text) { return text[strspn(text, ". \t")] == 0; }

bool ReplaceTail(PathText& path, unsigned keep, const char* a, const char* b) {
  path.Truncate(keep);
  if (path.Append(a) && (!b || path.Append(b))) return true;
  path.Truncate(keep);
  return false;
}
