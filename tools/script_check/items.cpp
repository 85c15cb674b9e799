#include "tools/script_check/items.h"

#include <vector>

#include "common/format/install_script.h"
#include "install/results.h"

const ScriptItem kScriptItems[] = {
    {1, "platforms", false, "item 1, the platforms", kScriptEndsBeforeItem1},
    {2, "uninstaller name and version", false, "item 2, the uninstaller's name and version", kScriptEndsBeforeItem1 + 1},
    {3, "company name", false, "item 3, the company name", kScriptEndsBeforeItem1 + 2},
    {4, "application name", false, "item 4, the application name", kScriptEndsBeforeItem1 + 3},
    {5, "version", false, "item 5, the version", kScriptEndsBeforeItem1 + 4},
    {6, "download site", false, "item 6, the download site", kScriptEndsInDependencyList},
    {7, "Windows-directory dependency", true, "the list of required files in the Windows directory",
     kScriptEndsInDependencyList},
    {8, "system-directory dependency", true, "the list of required files in the system directory",
     kScriptEndsInDependencyList},
    {9, "suggested installation directory", false, "item 9, the suggested installation directory",
     kScriptEndsBeforeInstallDir},
    {10, "suggested folder name", false, "item 10, the suggested folder name", kScriptEndsBeforeFolderName},
    {11, "folder item", true, "the list of folder items", kScriptEndsInFolderItems},
    {12, "registry item", true, "item 12, the registry-items line, which must be '.'", kScriptEndsBeforeRegistryItems},
    {13, "driver", true, "the list of drivers", kScriptEndsInDriverList},
    {14, "program to run", true, nullptr, 0},
};

const size_t kScriptItemCount = sizeof kScriptItems / sizeof kScriptItems[0];

const ScriptItem& ScriptItemNumber(int number) { return kScriptItems[number - 1]; }

void ReadUninstallerLine(const std::string& line, std::string* name, std::string* version) {
  std::vector<char> copy(line.begin(), line.end());
  copy.push_back(0);
  TokenSplit split(copy.data());
  if (char* file = split.Next()) *name = file;
  version->clear();
  for (int i = 0; i < 4; i++) {
    char* f = split.Next();
    if (!f) break;
    *version += (i ? "." : "") + std::to_string(ReadScriptNumber(f));
  }
}
