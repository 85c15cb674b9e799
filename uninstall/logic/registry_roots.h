#pragma once
// The root abbreviations of the uninstall script's registry section, in the order in which
// they are searched. The uninstaller maps each to its predefined key.

enum RegistryRoot {
  kRootLocalMachine,     // "HKLM"
  kRootClassesRoot,      // "HKCR"
  kRootCurrentUser,      // "HKCU"
  kRootUsers,            // "HKU"
  kRootPerformanceData,  // "HKPD"
  kRootDynData,          // "HKDD"
  kRootCurrentConfig,    // "HKCC"
  kRootCount
};

extern const char* const kRegistryRootNames[kRootCount];

// The first root whose abbreviation equals the line exactly (case-sensitive, nothing
// trimmed), or -1 when none does.
int FindRegistryRoot(const char* line);
