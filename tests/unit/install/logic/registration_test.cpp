#include "install/logic/registration.h"

#include <gtest/gtest.h>

#include <string.h>
#include <string>

namespace {

TEST(Registration, KeyPath) {
  PathText p;
  ASSERT_TRUE(BuildUninstallKeyPath(p, "Lumivane"));
  EXPECT_STREQ("Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Lumivane", p.c_str());
  ASSERT_TRUE(BuildUninstallKeyPath(p, "Two words"));
  EXPECT_STREQ("Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Two words", p.c_str());
  EXPECT_FALSE(BuildUninstallKeyPath(p, std::string(260, 'a').c_str()));
  EXPECT_STREQ("", p.c_str());
}

TEST(Registration, UninstallCommand) {
  const struct {
    const char* uninstaller;
    const char* script;
    const char* expected;
  } cases[] = {
      {"C:\\windows\\UnstOrv.exe", "C:\\Program Files\\Orv\\Lumivane\\Uninst.orv",
       "C:\\windows\\UnstOrv.exe C:\\Program Files\\Orv\\Lumivane\\Uninst.orv"},
      {"C:\\W\\u.exe", "D:\\a b\\Uninst.orv", "C:\\W\\u.exe D:\\a b\\Uninst.orv"},
  };
  PathText p;
  for (const auto& c : cases) {
    ASSERT_TRUE(BuildUninstallCommand(p, c.uninstaller, c.script));
    EXPECT_STREQ(c.expected, p.c_str());
    EXPECT_EQ(nullptr, strstr(p.c_str(), "-q ")) << p.c_str();
    EXPECT_EQ(nullptr, strchr(p.c_str(), '"')) << p.c_str();
  }
}

TEST(Registration, CommandThatDoesNotFitIsRefused) {
  PathText p;
  std::string a(129, 'a'), b(129, 'b');  // 129 + 1 + 129 = 259
  ASSERT_TRUE(BuildUninstallCommand(p, a.c_str(), b.c_str()));
  EXPECT_EQ(259u, p.length());
  std::string c(130, 'c');
  EXPECT_FALSE(BuildUninstallCommand(p, a.c_str(), c.c_str()));
  EXPECT_STREQ("", p.c_str());
}

}  // namespace
