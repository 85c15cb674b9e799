#include "uninstall/logic/registry_roots.h"

#include <string.h>

const char* const kRegistryRootNames[kRootCount] = {"HKLM", "HKCR", "HKCU", "HKU", "HKPD", "HKDD", "HKCC"};

int FindRegistryRoot(const char* line) {
  if (line == nullptr) return -1;
  for (int i = 0; i < kRootCount; i++) {
    if (strcmp(line, kRegistryRootNames[i]) == 0) return i;
  }
  return -1;
}
