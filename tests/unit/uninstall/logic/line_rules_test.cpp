#include "uninstall/logic/line_rules.h"

#include <gtest/gtest.h>

namespace {

struct Case {
  const char* line;
  bool accepted;
};

TEST(LineRules, FileSectionPathsMustBeAbsolute) {
  const Case cases[] = {
      {"C:\\Program Files\\Orv\\Lumivane\\Uninst.orv", true},
      {"c:\\x", true},
      {"Z:\\", true},
      {"\\\\server\\share\\dir\\file.txt", true},
      {"\\\\server\\share\\", true},
      {"", false},
      {".", false},
      {"Uninst.orv", false},
      {"docs\\index.html", false},
      {"..\\..\\windows\\system32\\kernel32.dll", false},
      {"\\windows\\win.ini", false},       // the current drive's root
      {"C:windows\\win.ini", false},       // the current directory of drive C
      {"C:", false},
      {"1:\\x", false},
      {"CC:\\x", false},
      {"\\\\server", false},
      {"\\\\server\\share", false},       // no backslash after the share
      {"\\\\server\\\\x", false},          // empty share
      {"\\\\\\share\\x", false},           // empty server
      {"\\\\.\\PhysicalDrive0\\x", false},  // the device namespace
      {"\\\\?\\C:\\x", false},              // raw paths
      {"\\\\..\\share\\x", true},           // an ordinary, if odd, server name
      // "/" separates as "\" does: the same device and raw-path forms, refused.
      {"\\\\./PhysicalDrive0\\x\\", false},
      {"\\\\?/GLOBALROOT\\Device\\HarddiskVolume1\\x", false},
      {"\\\\./PhysicalDrive0/x/", false},
      {"\\\\?/C:/x", false},
      {"\\\\/share\\x", false},             // empty server before "/"
      {"\\\\server//x", false},               // empty share between separators
      {"\\\\server/share\\x", true},        // an ordinary server and share
      {"\\\\server\\share/x", true},
  };
  for (const Case& c : cases) EXPECT_EQ(c.accepted, IsRemovablePath(c.line)) << "line \"" << c.line << "\"";
}

TEST(LineRules, RegistryKeyLinesMustNameASubkey) {
  const Case cases[] = {
      {"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Lumivane", true},
      {"Software", true},
      {"Software\\Orv Test\\User", true},
      {" ", true},  // a key named by one blank is a key like any other
      {"", false},
      {"\\", false},
      {"\\Software", false},
      {"Software\\", false},
      {"Software\\\\Orv", false},
      {"\\\\", false},
  };
  for (const Case& c : cases) EXPECT_EQ(c.accepted, NamesSubkey(c.line)) << "key \"" << c.line << "\"";
}

TEST(LineRules, DriverNames) {
  const Case cases[] = {
      {"orvtest", true}, {"a", true},       {"orv test", true},   {"..", true},  // stays in Drivers
      {"", false},       {"\\", false},     {"..\\x", false},     {"a\\b", false},
      {"/", false},      {"../x", false},   {"orvtest\\", false},
  };
  for (const Case& c : cases) EXPECT_EQ(c.accepted, IsDriverName(c.line)) << "name \"" << c.line << "\"";
}

}  // namespace
