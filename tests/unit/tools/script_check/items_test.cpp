#include "tools/script_check/items.h"

#include <gtest/gtest.h>

#include <string>

#include "install/results.h"

namespace {

TEST(ScriptItems, InReadingOrder) {
  ASSERT_EQ(14u, kScriptItemCount);
  for (size_t i = 0; i < kScriptItemCount; i++) {
    EXPECT_EQ((int)i + 1, kScriptItems[i].number);
    EXPECT_EQ(&kScriptItems[i], &ScriptItemNumber((int)i + 1));
  }
  // The lists are items 7, 8 and 11 to 14; the script may end only in the last.
  for (int n = 1; n <= 14; n++) {
    bool list = n == 7 || n == 8 || n >= 11;
    EXPECT_EQ(list, ScriptItemNumber(n).list) << n;
    EXPECT_EQ(n == 14, ScriptItemNumber(n).ending == nullptr) << n;
  }
  // Items 1 to 5 missing end the program with 104 + the item's index (there is no 103).
  for (int n = 1; n <= 5; n++) EXPECT_EQ(103 + n, ScriptItemNumber(n).result) << n;
  EXPECT_EQ(kScriptEndsInDriverList, ScriptItemNumber(13).result);
}

TEST(ScriptItems, UninstallerLine) {
  struct Case {
    const char* line;
    const char* name;
    const char* version;
  };
  const Case cases[] = {
      {"UnstOrv.exe,1,0,0,3", "UnstOrv.exe", "1.0.0.3"},
      {"UnstOrv.exe,1,0", "UnstOrv.exe", "1.0"},
      {"UnstOrv.exe", "UnstOrv.exe", ""},
      {"", "unchanged", ""},
      {"U.exe,2x,0,0,0,9", "U.exe", "2.0.0.0"},  // the installer's reading of a number; a fifth field ignored
  };
  for (const Case& c : cases) {
    std::string name = "unchanged", version = "unset";
    ReadUninstallerLine(c.line, &name, &version);
    EXPECT_EQ(c.name, name) << c.line;
    EXPECT_EQ(c.version, version) << c.line;
  }
}

}  // namespace
