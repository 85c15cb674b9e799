#include "install/logic/driver_entry.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const char* Or(const char* s) { return s ? s : "(none)"; }

TEST(DriverEntry, TokenSplitOfDriverLines) {
  const struct {
    const char* line;
    unsigned count;
    const char* fields[4];
  } cases[] = {
      {"NT,orvtest,drivers\\orvtest.sys,Orv test driver", 4,
       {"NT", "orvtest", "drivers\\orvtest.sys", "Orv test driver"}},
      {"W2,a,b,c,ignored,too", 4, {"W2", "a", "b", "c"}},
      {",,98,,a,,,b,c,", 4, {"98", "a", "b", "c"}},
      {"NT,a,b", 3, {"NT", "a", "b", nullptr}},
      {"NT,,a,b", 3, {"NT", "a", "b", nullptr}},
      {"NT", 1, {"NT", nullptr, nullptr, nullptr}},
      {",,,", 0, {nullptr, nullptr, nullptr, nullptr}},
      {"", 0, {nullptr, nullptr, nullptr, nullptr}},
      {"W2, a ,b,Display, name", 4, {"W2", " a ", "b", "Display"}},
  };
  for (const auto& c : cases) {
    std::string buf(c.line);
    DriverEntry e;
    unsigned n = SplitDriverLine(&buf[0], &e);
    EXPECT_EQ(c.count, n) << "line \"" << c.line << "\"";
    const char* got[4] = {e.platform, e.name, e.source, e.displayName};
    for (unsigned i = 0; i < 4; i++) {
      if (c.fields[i])
        EXPECT_STREQ(c.fields[i], got[i]) << "line \"" << c.line << "\" field " << i;
      else
        EXPECT_EQ(nullptr, got[i]) << "line \"" << c.line << "\" field " << i << " got " << Or(got[i]);
    }
  }
}

TEST(DriverEntry, PlatformCodes) {
  // Flags: win98, nt4, w2k.
  const struct {
    const char* code;
    bool win98, nt4, w2k, expected;
  } cases[] = {
      {"98", true, false, false, true},   {"98", false, true, false, false}, {"98", false, false, true, false},
      {"NT", false, true, false, true},   {"NT", false, false, true, false}, {"NT", true, false, false, false},
      {"W2", false, false, true, true},   {"W2", false, true, false, false}, {"95", false, false, false, false},
      {"95", true, false, false, false},  {"nt", false, true, false, false}, {"w2", false, false, true, false},
      {"NT ", false, true, false, false}, {"", false, true, false, false},   {"98", false, false, false, false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.expected, DriverForPlatform(c.code, c.win98, c.nt4, c.w2k))
        << "code \"" << c.code << "\" flags " << c.win98 << c.nt4 << c.w2k;
}

TEST(DriverEntry, CopyDecision) {
  const struct {
    bool readable;
    unsigned installed[4];
    unsigned source[4];
    bool copy;
  } cases[] = {
      {false, {0, 0, 0, 0}, {1, 0, 0, 1}, true},
      {true, {1, 0, 0, 1}, {1, 0, 0, 1}, false},
      {true, {1, 0, 0, 1}, {1, 0, 0, 2}, true},
      {true, {1, 0, 0, 2}, {1, 0, 0, 1}, false},
      {true, {1, 9, 9, 9}, {2, 0, 0, 0}, true},
      {true, {2, 0, 0, 0}, {1, 9, 9, 9}, false},
      {true, {0x80000000u, 0, 0, 0}, {1, 0, 0, 0}, false},  // unsigned comparison
      {true, {1, 0, 0, 0}, {0x80000000u, 0, 0, 0}, true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.copy, DriverCopyNeeded(c.readable, c.installed, c.source))
        << "installed " << c.installed[0] << "." << c.installed[1] << "." << c.installed[2] << "."
        << c.installed[3] << " source " << c.source[0] << "." << c.source[1] << "." << c.source[2] << "."
        << c.source[3] << " readable " << c.readable;
}

TEST(DriverEntry, Paths) {
  PathText p;
  ASSERT_TRUE(BuildDriverPath(p, "C:\\windows", "orvtest"));
  EXPECT_STREQ("C:\\windows\\System32\\Drivers\\orvtest.sys", p.c_str());
  ASSERT_TRUE(BuildDriverPath(p, "C:\\", "x"));
  EXPECT_STREQ("C:\\System32\\Drivers\\x.sys", p.c_str());
  ASSERT_TRUE(BuildImagePath(p, "orvtest"));
  EXPECT_STREQ("\\SystemRoot\\System32\\Drivers\\orvtest.sys", p.c_str());
  ASSERT_TRUE(BuildServiceKey(p, "orvtest"));
  EXPECT_STREQ("System\\CurrentControlSet\\Services\\orvtest", p.c_str());
}

TEST(DriverEntry, PathsThatDoNotFitAreRefused) {
  PathText p;
  std::string dir = "C:\\windows";
  // dir + "\System32\Drivers\" + name + ".sys" = 10 + 18 + n + 4 characters.
  std::string fits(259 - 32, 'n');
  ASSERT_TRUE(BuildDriverPath(p, dir.c_str(), fits.c_str()));
  EXPECT_EQ(259u, p.length());
  std::string tooLong(259 - 31, 'n');
  EXPECT_FALSE(BuildDriverPath(p, dir.c_str(), tooLong.c_str()));
  EXPECT_STREQ("", p.c_str());
  std::string huge(400, 'n');
  EXPECT_FALSE(BuildImagePath(p, huge.c_str()));
  EXPECT_STREQ("", p.c_str());
  EXPECT_FALSE(BuildServiceKey(p, huge.c_str()));
  EXPECT_STREQ("", p.c_str());
}

}  // namespace
