#include "install/logic/carry_over.h"

#include <string.h>

#include "common/format/uninstall_script.h"
#include "install/logic/removal_order.h"

bool CarriedTextBytes(uint32_t fileSize, uint32_t* bytes) {
  if (fileSize == UINT32_MAX) return false;
  *bytes = fileSize + 1;
  return true;
}

bool CarriedListBytes(uint32_t lineBound, uint32_t pointerSize, uint32_t* bytes) {
  if (pointerSize != 0 && lineBound > UINT32_MAX / pointerSize) return false;
  *bytes = lineBound * pointerSize;
  return true;
}

unsigned CountLinesBound(const char* text) {
  unsigned n = 1;
  for (const char* p = text; *p; p++)
    if (*p == '\r') n++;
  return n;
}

unsigned CollectCarriedDirectories(char* text, DirectoryTest isDirectory, const char** out, unsigned capacity) {
  UninstallLineCursor cursor(text);
  for (int i = 0; i < 3; i++)
    if (!cursor.ReadUninstallLine()) return 0;
  unsigned n = 0;
  for (char* line = cursor.ReadUninstallLine(); line && !IsSectionEnd(line) && n < capacity;
       line = cursor.ReadUninstallLine()) {
    if (isDirectory(line)) out[n++] = line;
  }
  return n;
}

namespace {

// True when line names the directory dir (which ends with a backslash), ignoring case.
bool SameDirectory(const char* line, const char* dir, unsigned lineLength) {
  // dir lies inside line followed by a last part "x" exactly when line names dir.
  char probe[264];
  if (lineLength + 3 > sizeof probe) return false;
  unsigned n = 0;
  for (; dir[n]; n++) {
    if (n + 2 >= sizeof probe) return false;
    probe[n] = dir[n];
  }
  probe[n] = 'x';
  probe[n + 1] = 0;
  return n == lineLength + 1 && PathIsInside(probe, line);
}

}  // namespace

bool MayCarryOver(const char* line, const char* installDir, const char* programs) {
  unsigned length = (unsigned)strlen(line);
  if (length < 4) return false;
  bool onlyDots = true;
  for (unsigned i = 0; i <= length; i++) {
    char c = line[i];
    if (c == '/') return false;
    if (c == '\\' || c == 0) {
      if (onlyDots && i > 0) return false;
      onlyDots = true;
    } else if (c != '.' && c != ' ') {
      onlyDots = false;
    }
  }
  return SameDirectory(line, installDir, length) || PathIsInside(line, installDir) ||
         PathIsInside(installDir, line) || (programs && PathIsInside(line, programs));
}

unsigned KeepCarriable(const char** dirs, unsigned n, const char* installDir, const char* programs) {
  unsigned kept = 0;
  for (unsigned i = 0; i < n; i++)
    if (MayCarryOver(dirs[i], installDir, programs)) dirs[kept++] = dirs[i];
  return kept;
}
