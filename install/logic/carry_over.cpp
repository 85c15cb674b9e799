#include "install/logic/carry_over.h"

#include "common/uninstall_script.h"

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
