#pragma once
// The items of the install script in the order in which the installer reads them: what
// orv inspect labels each line with, and what orv check says when the script ends before
// or inside one.
#include <stddef.h>

#include <string>

struct ScriptItem {
  int number;          // 1 to 14
  const char* name;    // "platforms", "folder item"
  bool list;           // lines up to a '.' line, each an item of this kind
  const char* ending;  // "item 1, the platforms", "the list of folder items" (null: the script may end here)
  int result;          // the internal error the installer stops with when the script ends there
};

extern const ScriptItem kScriptItems[];
extern const size_t kScriptItemCount;

// The item numbered 1 to 14.
const ScriptItem& ScriptItemNumber(int number);

// Item 2 as the installer reads it: the uninstaller's file name (unchanged when the line has
// none) and its version, the numbers found joined by dots ("1.0.0.3").
void ReadUninstallerLine(const std::string& line, std::string* name, std::string* version);
