#include "install/logic/completion_option.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <string>

namespace {

TEST(CompletionOption, SplitsAtTheFirstTwoCommas) {
  const struct {
    const char* line;
    bool ok;
    const char* file;
    const char* text;
    const char* state;
  } cases[] = {
      {"index.html,&View the Lumivane documentation?,on", true, "index.html", "&View the Lumivane documentation?",
       "on"},
      {"a.exe,Run,off", true, "a.exe", "Run", "off"},
      {"a.exe,Run,", true, "a.exe", "Run", ""},
      {"a.exe,Run,on,more,commas", true, "a.exe", "Run", "on,more,commas"},
      {"a.exe,,on", true, "a.exe", "", "on"},
      {",Text,on", true, "", "Text", "on"},
      {"a.exe,Run", false, nullptr, nullptr, nullptr},
      {"a.exe", false, nullptr, nullptr, nullptr},
      {"", false, nullptr, nullptr, nullptr},
  };
  for (const auto& c : cases) {
    std::string buf(c.line);
    CompletionOption o{nullptr, nullptr, nullptr};
    bool ok = SplitOptionLine(&buf[0], &o);
    EXPECT_EQ(c.ok, ok) << "line \"" << c.line << "\"";
    if (!c.ok || !ok) continue;
    EXPECT_STREQ(c.file, o.file) << "line \"" << c.line << "\"";
    EXPECT_STREQ(c.text, o.text) << "line \"" << c.line << "\"";
    EXPECT_STREQ(c.state, o.state) << "line \"" << c.line << "\"";
  }
}

TEST(CompletionOption, OnInAnyLetterCaseAndNothingElse) {
  const struct {
    const char* state;
    bool on;
  } cases[] = {
      {"on", true},   {"ON", true},  {"On", true},   {"oN", true},  {"off", false}, {"", false},
      {"on ", false}, {" on", false}, {"o", false},  {"onn", false}, {"yes", false}, {"on\t", false},
      {"0n", false},
  };
  for (const auto& c : cases) EXPECT_EQ(c.on, IsOnState(c.state)) << "state \"" << c.state << "\"";
}

TEST(CompletionOption, StartFailureText) {
  const struct {
    const char* file;
    const char* reason;
    const char* expected;
  } cases[] = {
      {"missing.exe", "File not found.", "Could not start missing.exe (File not found.)"},
      {"bin\\tool.exe", "2", "Could not start bin\\tool.exe (2)"},
      {"", "", "Could not start  ()"},
  };
  for (const auto& c : cases) {
    char* text = BuildStartFailureText(c.file, c.reason);
    ASSERT_NE(nullptr, text);
    EXPECT_STREQ(c.expected, text);
    free(text);
  }
  std::string longReason(2000, 'r');
  char* text = BuildStartFailureText("x", longReason.c_str());
  ASSERT_NE(nullptr, text);
  EXPECT_EQ("Could not start x (" + longReason + ")", std::string(text)) << "a long reason is kept whole";
  free(text);
}

}  // namespace
