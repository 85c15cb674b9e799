#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "uninstall/logic/command_tail.h"
#include "uninstall/logic/error_text.h"
#include "uninstall/logic/registry_roots.h"
#include "uninstall/logic/uninstall_texts.h"

namespace {

std::string Shown(const char* s) { return s ? "\"" + std::string(s) + "\"" : "(none)"; }

// --- the command tail ------------------------------------------------------------------

struct FindTailCase {
  const char* commandLine;
  const char* tail;  // nullptr: no tail
};

TEST(FindCommandTail, SkipsTheProgramNameAndBlanks) {
  const FindTailCase cases[] = {
      {"uninstall.exe C:\\x\\Uninst.orv", "C:\\x\\Uninst.orv"},
      {"C:\\windows\\uninstall.exe", nullptr},
      {"C:\\windows\\uninstall.exe ", ""},
      {"C:\\windows\\uninstall.exe \t \t", ""},
      {"C:\\windows\\uninstall.exe\tpath", "path"},
      {"C:\\windows\\uninstall.exe  \t -q C:\\a b\\Uninst.orv", "-q C:\\a b\\Uninst.orv"},
      {"\"C:\\Program Files\\un install.exe\" C:\\a b\\Uninst.orv ", "C:\\a b\\Uninst.orv "},
      {"\"C:\\Program Files\\un install.exe\"", nullptr},
      {"\"C:\\Program Files\\un install.exe\"   ", ""},
      {"\"C:\\Program Files\\un install.exe\"x", "x"},
      {"\"unclosed quote c:\\x", nullptr},
      {"u.exe \"C:\\quoted path\\Uninst.orv\"", "\"C:\\quoted path\\Uninst.orv\""},
      {"", nullptr},
      {nullptr, nullptr},
  };
  for (const FindTailCase& c : cases) {
    const char* got = FindCommandTail(c.commandLine);
    if (c.tail == nullptr) {
      EXPECT_EQ(nullptr, got) << "command line " << Shown(c.commandLine) << ": expected no tail, got "
                              << Shown(got);
    } else {
      ASSERT_NE(nullptr, got) << "command line " << Shown(c.commandLine) << ": expected " << Shown(c.tail)
                              << ", got no tail";
      EXPECT_STREQ(c.tail, got) << "command line " << Shown(c.commandLine);
    }
  }
}

struct ParseTailCase {
  const char* tail;
  int result;
  bool quiet;
  const char* path;
};

TEST(ParseCommandTail, QuietPrefixAndLiteralPath) {
  const ParseTailCase cases[] = {
      {nullptr, kNoCommandTail, false, nullptr},
      {"", kEmptyCommandTail, false, nullptr},
      {"C:\\Orv\\Uninst.orv", kCommandTailOk, false, "C:\\Orv\\Uninst.orv"},
      {"-q C:\\Orv\\Uninst.orv", kCommandTailOk, true, "C:\\Orv\\Uninst.orv"},
      {"-q x", kCommandTailOk, true, "x"},
      {"-q  C:\\x", kCommandTailOk, true, " C:\\x"},
      {"-q ", kCommandTailOk, false, "-q "},
      {"-q", kCommandTailOk, false, "-q"},
      {"-qC:\\Orv\\Uninst.orv", kCommandTailOk, false, "-qC:\\Orv\\Uninst.orv"},
      {"-q\tC:\\x", kCommandTailOk, false, "-q\tC:\\x"},
      {"-Q C:\\x", kCommandTailOk, false, "-Q C:\\x"},
      {"/q C:\\x", kCommandTailOk, false, "/q C:\\x"},
      {"C:\\Program Files\\Orv\\Uninst.orv", kCommandTailOk, false, "C:\\Program Files\\Orv\\Uninst.orv"},
      {"\"C:\\a b\\Uninst.orv\"", kCommandTailOk, false, "\"C:\\a b\\Uninst.orv\""},
      {"-q \"C:\\a b\"", kCommandTailOk, true, "\"C:\\a b\""},
      {"C:\\x\\Uninst.orv  ", kCommandTailOk, false, "C:\\x\\Uninst.orv  "},
  };
  for (const ParseTailCase& c : cases) {
    UninstallCommand command = {!c.quiet, "sentinel"};
    int result = ParseCommandTail(c.tail, &command);
    EXPECT_EQ(c.result, result) << "tail " << Shown(c.tail);
    if (c.result != kCommandTailOk || result != kCommandTailOk) continue;
    EXPECT_EQ(c.quiet, command.quiet) << "tail " << Shown(c.tail);
    EXPECT_STREQ(c.path, command.path) << "tail " << Shown(c.tail);
  }
}

TEST(ParseCommandTail, PathPointsIntoTheTail) {
  const char tail[] = "-q C:\\x";
  UninstallCommand command = {false, nullptr};
  ASSERT_EQ(kCommandTailOk, ParseCommandTail(tail, &command));
  EXPECT_EQ(tail + 3, command.path);
}

// --- the error text ----------------------------------------------------------------------

TEST(AddErrorText, AppendsMessageSubjectAndCrLf) {
  ErrorText errors;
  EXPECT_TRUE(errors.empty());
  EXPECT_TRUE(errors.AddErrorText("Could not remove ", "C:\\a\\b.txt"));
  EXPECT_TRUE(errors.AddErrorText("Could not get windows directory", ""));
  EXPECT_TRUE(errors.AddErrorText("Could not remove registry key ", nullptr));
  const char expected[] =
      "Could not remove C:\\a\\b.txt\r\nCould not get windows directory\r\nCould not remove registry key \r\n";
  EXPECT_STREQ(expected, errors.c_str());
  EXPECT_EQ(strlen(expected), errors.length());
  errors.Clear();
  EXPECT_TRUE(errors.empty());
  EXPECT_STREQ("", errors.c_str());
}

// Fills the text to `length` characters with entries of message "M" and a subject of 'x's.
void FillTo(ErrorText& errors, unsigned length) {
  while (errors.length() < length) {
    unsigned left = length - errors.length();
    unsigned entry = left > 100 ? 100 : left;
    ASSERT_GE(entry, 3u) << "cannot fill to " << length;
    if (left - entry > 0 && left - entry < 3) entry -= 3;
    std::string subject(entry - 3, 'x');
    ASSERT_TRUE(errors.AddErrorText("M", subject.c_str())) << "at length " << errors.length();
  }
  ASSERT_EQ(length, errors.length());
}

struct BoundCase {
  unsigned before;      // length of the text before the entry
  unsigned entry;       // message + subject + 2
  bool added;
};

TEST(AddErrorText, BoundOf1022Characters) {
  const BoundCase cases[] = {
      {0, 1022, true},    {0, 1023, false},   {0, 1024, false},  {0, 5000, false},
      {1000, 22, true},   {1000, 23, false},  {1020, 2, true},   {1020, 3, false},
      {1021, 2, false},   {1022, 2, false},   {500, 522, true},  {500, 523, false},
  };
  for (const BoundCase& c : cases) {
    ErrorText errors;
    FillTo(errors, c.before);
    std::string before = errors.c_str();
    std::string subject(c.entry - 2, 's');
    bool added = errors.AddErrorText("", subject.c_str());
    EXPECT_EQ(c.added, added) << "length " << c.before << " + entry " << c.entry;
    if (c.added) {
      EXPECT_EQ(c.before + c.entry, errors.length());
      EXPECT_EQ(before + subject + "\r\n", std::string(errors.c_str()));
    } else {
      EXPECT_EQ(c.before, errors.length()) << "a dropped entry leaves the text as it was";
      EXPECT_EQ(before, std::string(errors.c_str()));
    }
    EXPECT_LE(errors.length(), 1022u);
    EXPECT_EQ(errors.length(), strlen(errors.c_str()));
  }
}

TEST(AddErrorText, DroppedEntryDoesNotStopShorterOnes) {
  ErrorText errors;
  FillTo(errors, 990);
  std::string longPath(40, 'L');
  EXPECT_FALSE(errors.AddErrorText("Could not remove ", longPath.c_str()));
  EXPECT_EQ(990u, errors.length());
  EXPECT_TRUE(errors.AddErrorText("Could not remove ", "C:\\a"));
  EXPECT_EQ(990u + 17 + 4 + 2, errors.length());
  EXPECT_FALSE(errors.AddErrorText("Could not remove ", "C:\\abc"));
  EXPECT_TRUE(errors.AddErrorText("X", "yyyyyy")) << "reaches 1022 exactly";
  EXPECT_EQ(1022u, errors.length());
  EXPECT_FALSE(errors.AddErrorText("", ""));
  EXPECT_EQ(1022u, errors.length());
  std::string text = errors.c_str();
  EXPECT_EQ(std::string::npos, text.find(longPath));
  EXPECT_NE(std::string::npos, text.find("Could not remove C:\\a\r\n"));
  EXPECT_EQ(std::string::npos, text.find("C:\\abc"));
}

TEST(AddErrorText, EveryEntryOfAFullRunIsWholeOrAbsent) {
  ErrorText errors;
  std::vector<std::string> added;
  for (int i = 0; i < 200; i++) {
    std::string path = "C:\\dir\\file" + std::to_string(i) + std::string(i % 37, 'z');
    if (errors.AddErrorText("Could not remove ", path.c_str())) added.push_back(path);
  }
  std::string expected;
  for (const std::string& p : added) expected += "Could not remove " + p + "\r\n";
  EXPECT_EQ(expected, std::string(errors.c_str()));
  EXPECT_LE(errors.length(), 1022u);
  EXPECT_GT(errors.length(), 1000u) << "short entries keep filling the store";
}

TEST(AddErrorText, HugeSubjectIsDropped) {
  ErrorText errors;
  std::string huge(1 << 20, 'h');
  EXPECT_FALSE(errors.AddErrorText("Could not remove ", huge.c_str()));
  EXPECT_FALSE(errors.AddErrorText(huge.c_str(), huge.c_str()));
  EXPECT_TRUE(errors.empty());
}

// --- the root table ------------------------------------------------------------------------

struct RootCase {
  const char* line;
  int root;
};

TEST(FindRegistryRoot, ExactCaseSensitiveInTableOrder) {
  const RootCase cases[] = {
      {"HKLM", kRootLocalMachine}, {"HKCR", kRootClassesRoot}, {"HKCU", kRootCurrentUser},
      {"HKU", kRootUsers},         {"HKPD", kRootPerformanceData}, {"HKDD", kRootDynData},
      {"HKCC", kRootCurrentConfig},
      {"hklm", -1},   {"Hklm", -1},   {"HKLM ", -1}, {" HKLM", -1}, {"HKL", -1},
      {"HKEY_LOCAL_MACHINE", -1},     {"HKUS", -1},  {"", -1},      {".", -1},   {nullptr, -1},
  };
  for (const RootCase& c : cases) {
    EXPECT_EQ(c.root, FindRegistryRoot(c.line)) << "line " << Shown(c.line);
  }
  const char* order[] = {"HKLM", "HKCR", "HKCU", "HKU", "HKPD", "HKDD", "HKCC"};
  for (int i = 0; i < kRootCount; i++) EXPECT_STREQ(order[i], kRegistryRootNames[i]) << "entry " << i;
}

// --- texts beyond 260 bytes ----------------------------------------------------------------

// Builds into a buffer of `capacity` bytes followed by guard bytes; checks the guard.
template <typename Build>
std::string BuildGuarded(size_t capacity, bool* ok, Build build) {
  std::vector<char> buffer(capacity + 16, '#');
  *ok = build(buffer.data(), capacity);
  for (size_t i = capacity; i < buffer.size(); i++) {
    EXPECT_EQ('#', buffer[i]) << "written past the buffer at " << i << " of capacity " << capacity;
  }
  return capacity ? std::string(buffer.data()) : std::string();
}

TEST(UninstallTexts, Confirmation) {
  std::string product(200, 'P');
  std::string version(18, 'V');
  std::string expected = "Are you sure that you want to uninstall " + product + " " + version + "?";
  ASSERT_GT(expected.size(), 259u);
  EXPECT_EQ(expected.size(), ConfirmationLength(product.c_str(), version.c_str()));
  bool ok;
  std::string got = BuildGuarded(expected.size() + 1, &ok, [&](char* out, size_t cap) {
    return BuildConfirmation(out, cap, product.c_str(), version.c_str());
  });
  EXPECT_TRUE(ok);
  EXPECT_EQ(expected, got);
  got = BuildGuarded(expected.size(), &ok, [&](char* out, size_t cap) {
    return BuildConfirmation(out, cap, product.c_str(), version.c_str());
  });
  EXPECT_FALSE(ok) << "one byte short";
  EXPECT_EQ("", got);
  got = BuildGuarded(64, &ok, [&](char* out, size_t cap) { return BuildConfirmation(out, cap, "Lumivane", "1.0.2"); });
  EXPECT_TRUE(ok);
  EXPECT_EQ("Are you sure that you want to uninstall Lumivane 1.0.2?", got);
}

TEST(UninstallTexts, OpenFailure) {
  std::string path = "C:\\" + std::string(400, 'p') + "\\Uninst.orv";
  std::string expected = "Error: could not open the uninstall file:\r\n" + path;
  EXPECT_EQ(expected.size(), OpenFailureLength(path.c_str()));
  bool ok;
  std::string got = BuildGuarded(expected.size() + 1, &ok,
                                 [&](char* out, size_t cap) { return BuildOpenFailure(out, cap, path.c_str()); });
  EXPECT_TRUE(ok);
  EXPECT_EQ(expected, got);
  BuildGuarded(expected.size(), &ok, [&](char* out, size_t cap) { return BuildOpenFailure(out, cap, path.c_str()); });
  EXPECT_FALSE(ok);
  BuildGuarded(0, &ok, [&](char* out, size_t cap) { return BuildOpenFailure(out, cap, ""); });
  EXPECT_FALSE(ok) << "no room even for the terminator";
}

struct DriverPathCase {
  const char* windowsDir;
  const char* name;
  const char* path;
};

TEST(UninstallTexts, DriverFilePath) {
  const DriverPathCase cases[] = {
      {"C:\\windows", "orvtest", "C:\\windows\\System32\\Drivers\\orvtest.sys"},
      {"C:\\", "orvtest", "C:\\System32\\Drivers\\orvtest.sys"},
      {"C:\\WINNT\\", "a b", "C:\\WINNT\\System32\\Drivers\\a b.sys"},
      {"", "x", "\\System32\\Drivers\\x.sys"},
      {"C:\\windows", "", "C:\\windows\\System32\\Drivers\\.sys"},
  };
  for (const DriverPathCase& c : cases) {
    EXPECT_EQ(strlen(c.path), DriverFilePathLength(c.windowsDir, c.name)) << c.path;
    bool ok;
    std::string got = BuildGuarded(strlen(c.path) + 1, &ok, [&](char* out, size_t cap) {
      return BuildDriverFilePath(out, cap, c.windowsDir, c.name);
    });
    EXPECT_TRUE(ok) << c.path;
    EXPECT_EQ(std::string(c.path), got);
  }
}

TEST(UninstallTexts, LongDriverPathAndServiceKey) {
  std::string windowsDir = "C:\\" + std::string(256, 'w');
  ASSERT_EQ(259u, windowsDir.size());
  std::string name(300, 'n');
  std::string path = windowsDir + "\\System32\\Drivers\\" + name + ".sys";
  bool ok;
  std::string got = BuildGuarded(path.size() + 1, &ok, [&](char* out, size_t cap) {
    return BuildDriverFilePath(out, cap, windowsDir.c_str(), name.c_str());
  });
  EXPECT_TRUE(ok);
  EXPECT_EQ(path, got);
  BuildGuarded(path.size(), &ok, [&](char* out, size_t cap) {
    return BuildDriverFilePath(out, cap, windowsDir.c_str(), name.c_str());
  });
  EXPECT_FALSE(ok);

  std::string key = "System\\CurrentControlSet\\Services\\" + name;
  EXPECT_EQ(key.size(), ServiceKeyPathLength(name.c_str()));
  got = BuildGuarded(key.size() + 1, &ok,
                     [&](char* out, size_t cap) { return BuildServiceKeyPath(out, cap, name.c_str()); });
  EXPECT_TRUE(ok);
  EXPECT_EQ(key, got);
  BuildGuarded(key.size(), &ok, [&](char* out, size_t cap) { return BuildServiceKeyPath(out, cap, name.c_str()); });
  EXPECT_FALSE(ok);
}

// Every text built after reading a script fits the buffer allotted behind the script text,
// however the script's bytes are shared among its lines.
TEST(UninstallTexts, SlackCoversEveryScriptText) {
  std::string windowsDir = "C:\\" + std::string(256, 'w');
  for (size_t size : {1u, 7u, 259u, 260u, 1000u}) {
    size_t total = 0;
    ASSERT_TRUE(ScriptAllocationSize(size, &total));
    size_t textBuffer = total - (size + 1);
    EXPECT_EQ(size + kTextSlack, textBuffer);
    // A line can hold the whole file at most; product and version together likewise.
    std::string line(size, 'a');
    EXPECT_LT(ConfirmationLength(line.substr(0, size / 2).c_str(), line.substr(size / 2).c_str()), textBuffer);
    EXPECT_LT(DriverFilePathLength(windowsDir.c_str(), line.c_str()), textBuffer);
    EXPECT_LT(ServiceKeyPathLength(line.c_str()), textBuffer);
  }
}

TEST(UninstallTexts, AllocationSizeRefusesWrapping) {
  size_t total = 12345;
  size_t max = (size_t)-1;
  EXPECT_FALSE(ScriptAllocationSize(max, &total));
  EXPECT_FALSE(ScriptAllocationSize(max / 2, &total));
  EXPECT_FALSE(ScriptAllocationSize(max / 2 - kTextSlack / 2 + 1, &total));
  EXPECT_EQ(12345u, total);
  ASSERT_TRUE(ScriptAllocationSize(max / 2 - kTextSlack / 2, &total)) << "the largest size that fits";
  EXPECT_EQ(max, total);
  ASSERT_TRUE(ScriptAllocationSize(max / 2 - kTextSlack, &total));
  EXPECT_EQ(2 * (max / 2 - kTextSlack) + 1 + kTextSlack, total);
  ASSERT_TRUE(ScriptAllocationSize(0, &total));
  EXPECT_EQ(1 + kTextSlack, total);
}

struct ClosingCase {
  bool partial;
  bool restart;
  const char* text;
};

TEST(UninstallTexts, ClosingMessages) {
  const ClosingCase cases[] = {
      {false, false, "Uninstallation complete."},
      {true, false, "Partial uninstallation complete."},
      {false, true, "Uninstallation complete.\r\n\r\nYou need to restart your computer to complete the uninstallation"},
      {true, true,
       "Partial uninstallation complete.\r\n\r\nYou need to restart your computer to complete the uninstallation"},
  };
  for (const ClosingCase& c : cases) {
    EXPECT_STREQ(c.text, ClosingMessage(c.partial, c.restart)) << "partial " << c.partial << " restart " << c.restart;
  }
}

}  // namespace
