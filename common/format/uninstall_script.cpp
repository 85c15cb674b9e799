#include "common/format/uninstall_script.h"

char* UninstallLineCursor::ReadUninstallLine() {
  if (next_ == nullptr || *next_ == 0) return nullptr;
  char* line = next_;
  char* p = line;
  while (*p != 0 && *p != '\r') p++;
  if (*p == 0) {
    next_ = nullptr;
    return line;
  }
  *p = 0;
  // Two bytes past the CR would pass the terminator when the CR is the last byte.
  next_ = p[1] == 0 ? p + 1 : p + 2;
  return line;
}

bool IsSectionEnd(const char* line) {
  return line != nullptr && line[0] == '.' && line[1] == 0;
}
