#include "install/logic/carry_over.h"

#include "common/uninstall_script.h"

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
