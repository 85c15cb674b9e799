#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "install/logic/platform.h"

namespace {

std::string Flags(const AllowedPlatforms& a) {
  std::string s;
  if (a.Win95) s += "95 ";
  if (a.Win98) s += "98 ";
  if (a.WinNT4) s += "NT ";
  if (a.Win2000) s += "W2 ";
  return s;
}

TEST(ParsePlatformsLine, Codes) {
  const struct {
    const char* line;
    int result;
    const char* flags;  // when result is 0
  } cases[] = {
      {"95,98,NT,W2", 0, "95 98 NT W2 "},
      {"NT", 0, "NT "},
      {"W2,95", 0, "95 W2 "},
      {"98,,NT", 0, "98 NT "},
      {"98,98", 0, "98 "},
      {",95,", 0, "95 "},
      {"", 3, ""},
      {",,", 3, ""},
      {"95, 98", 1, ""},
      {"9", 1, ""},
      {"W2K", 1, ""},
      {"nt", 2, ""},
      {"w2", 2, ""},
      {"95,XP", 2, ""},
      {"XP,9", 2, ""},
      {"9,XP", 1, ""},
  };
  for (const auto& c : cases) {
    std::vector<char> line(c.line, c.line + strlen(c.line) + 1);
    AllowedPlatforms allowed{true, true, true, true};
    int result = ParsePlatformsLine(line.data(), allowed);
    EXPECT_EQ(c.result, result) << "line \"" << c.line << "\"";
    if (c.result == 0) {
      EXPECT_EQ(std::string(c.flags), Flags(allowed)) << "line \"" << c.line << "\"";
    }
  }
}

const char* Name(RunningPlatform p) {
  switch (p) {
    case kRunningOther: return "other";
    case kRunningWin98: return "98";
    case kRunningWinNT4: return "NT4";
    case kRunningWin2000: return "2000";
  }
  return "?";
}

// Every identifier and version band, each against the one code that decides it, against
// all other codes, and against everything.
TEST(DecidePlatform, Table) {
  const AllowedPlatforms only95{true, false, false, false};
  const AllowedPlatforms only98{false, true, false, false};
  const AllowedPlatforms onlyNT{false, false, true, false};
  const AllowedPlatforms onlyW2{false, false, false, true};
  const AllowedPlatforms all{true, true, true, true};
  const AllowedPlatforms none{false, false, false, false};
  const struct {
    const char* system;
    unsigned long id, major, minor;
    RunningPlatform running;
    const AllowedPlatforms* decides;  // nullptr: never allowed
  } cases[] = {
      {"Windows 3.1 (id 1, 3.10)", 1, 3, 10, kRunningOther, nullptr},
      {"Windows 95 (1, 4.0)", 1, 4, 0, kRunningOther, &only95},
      {"Windows 98 (1, 4.10)", 1, 4, 10, kRunningWin98, &only98},
      {"Windows Me (1, 4.90)", 1, 4, 90, kRunningWin98, &only98},
      {"Windows 95 family 5.0", 1, 5, 0, kRunningWin98, &only98},
      {"NT 3.51 (2, 3.51)", 2, 3, 51, kRunningOther, nullptr},
      {"NT 4 (2, 4.0)", 2, 4, 0, kRunningWinNT4, &onlyNT},
      {"NT 4.1 (2, 4.1)", 2, 4, 1, kRunningWinNT4, &onlyNT},
      {"Windows 2000 (2, 5.0)", 2, 5, 0, kRunningWin2000, &onlyW2},
      {"Windows XP (2, 5.1)", 2, 5, 1, kRunningWin2000, &onlyW2},
      {"Windows 7 (2, 6.1)", 2, 6, 1, kRunningWin2000, &onlyW2},
      {"Win32s (0, 3.10)", 0, 3, 10, kRunningOther, nullptr},
      {"CE (3, 4.0)", 3, 4, 0, kRunningOther, nullptr},
  };
  const AllowedPlatforms* sets[] = {&only95, &only98, &onlyNT, &onlyW2, &all, &none};
  for (const auto& c : cases) {
    for (const AllowedPlatforms* set : sets) {
      PlatformDecision d = DecidePlatform(*set, c.id, c.major, c.minor);
      bool expectedAllowed = c.decides && (set == c.decides || set == &all);
      EXPECT_STREQ(Name(c.running), Name(d.running)) << c.system << " allowing " << Flags(*set);
      EXPECT_EQ(expectedAllowed, d.allowed) << c.system << " allowing \"" << Flags(*set) << "\"";
    }
  }
}

TEST(BuildRefusalText, DoubleBlanks) {
  const std::string head = "Sorry, this installation program must be run in one of these operating systems:\r\n";
  const struct {
    AllowedPlatforms allowed;
    const char* tail;
  } cases[] = {
      {{true, false, true, false}, "Windows 95  Windows NT 4  "},
      {{true, true, true, true}, "Windows 95  Windows 98 or later  Windows NT 4  Windows 2000 or later"},
      {{false, false, false, true}, "Windows 2000 or later"},
      {{false, true, false, false}, "Windows 98 or later  "},
      {{false, false, false, false}, ""},
  };
  for (const auto& c : cases) {
    RefusalText text;
    BuildRefusalText(c.allowed, text);
    EXPECT_EQ(head + c.tail, std::string(text.c_str())) << "allowing " << Flags(c.allowed);
  }
}

}  // namespace
