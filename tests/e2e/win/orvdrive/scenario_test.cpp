// orvdrive's scenario parser on the host: values, keys, escapes, errors, skipped lines.
#include "scenario.h"

#include <gtest/gtest.h>

namespace orvdrive {
namespace {

std::vector<Step> Parse(const std::string& text) {
  std::vector<Step> steps;
  std::string err;
  EXPECT_TRUE(ParseScenario(text, steps, err)) << err;
  return steps;
}

std::string Error(const std::string& text) {
  std::vector<Step> steps;
  std::string err;
  EXPECT_FALSE(ParseScenario(text, steps, err));
  return err;
}

TEST(OrvdriveScenario, VerbKeysAndPositionalValues) {
  std::vector<Step> steps = Parse("expect caption=\"Acme\" text~=\"Are you sure\" class=#32770\npress 2\n");
  ASSERT_EQ(steps.size(), 2u);
  const Step& e = steps[0];
  EXPECT_EQ(e.verb, "expect");
  EXPECT_EQ(e.line, 1);
  EXPECT_EQ(e.text, "expect caption=\"Acme\" text~=\"Are you sure\" class=#32770");
  ASSERT_EQ(e.args.size(), 3u);
  EXPECT_EQ(e.args[0].key, "caption");
  EXPECT_EQ(e.args[0].value, "Acme");
  EXPECT_TRUE(e.args[0].quoted);
  EXPECT_FALSE(e.args[0].substring);
  EXPECT_EQ(e.args[1].key, "text");
  EXPECT_TRUE(e.args[1].substring);
  EXPECT_EQ(e.args[1].value, "Are you sure");
  EXPECT_EQ(e.args[2].value, "#32770");
  EXPECT_FALSE(e.args[2].quoted);
  EXPECT_EQ(steps[1].verb, "press");
  EXPECT_EQ(steps[1].line, 2);
  ASSERT_NE(Positional(steps[1], 0), nullptr);
  EXPECT_EQ(Positional(steps[1], 0)->value, "2");
  EXPECT_EQ(Positional(steps[1], 1), nullptr);
  EXPECT_EQ(Named(steps[1], "caption"), nullptr);
}

TEST(OrvdriveScenario, EscapesInQuotedValues) {
  std::vector<Step> steps = Parse("type 1000 \"C:\\\\Program Files\\\\Orv \\\"x\\\"\\r\\n\\t\"\n");
  ASSERT_EQ(steps.size(), 1u);
  ASSERT_NE(Positional(steps[0], 1), nullptr);
  EXPECT_EQ(Positional(steps[0], 1)->value, "C:\\Program Files\\Orv \"x\"\r\n\t");
}

TEST(OrvdriveScenario, BlankAndCommentLinesAreSkippedButCounted) {
  std::vector<Step> steps = Parse("\n# a comment\n   \n\t  sleep 50  \r\n  # indented comment\nend");
  ASSERT_EQ(steps.size(), 2u);
  EXPECT_EQ(steps[0].verb, "sleep");
  EXPECT_EQ(steps[0].line, 4);
  EXPECT_EQ(steps[0].text, "sleep 50");
  EXPECT_EQ(steps[1].verb, "end");
  EXPECT_EQ(steps[1].line, 6);
  EXPECT_TRUE(steps[1].args.empty());
}

TEST(OrvdriveScenario, AnEqualsSignInsideAQuotedValueIsNoKey) {
  std::vector<Step> steps = Parse("control 1 text=\"a=b\" \"c=d\"\n");
  ASSERT_EQ(steps[0].args.size(), 3u);
  EXPECT_EQ(steps[0].args[1].key, "text");
  EXPECT_EQ(steps[0].args[1].value, "a=b");
  EXPECT_EQ(steps[0].args[2].key, "");
  EXPECT_EQ(steps[0].args[2].value, "c=d");
}

TEST(OrvdriveScenario, ErrorsNameTheLine) {
  EXPECT_EQ(Error("press 1\nexpect text=\"C:\\x\"\n"), "line 2: unknown escape");
  EXPECT_EQ(Error("expect text=\"open\n"), "line 1: unterminated quote");
  EXPECT_EQ(Error("\n\ntype 1 \"a\"b\n"), "line 3: text after a value");
}

TEST(OrvdriveScenario, MatchesExactlyOrAsSubstring) {
  std::vector<Step> steps = Parse("expect caption=Acme text~=sure\n");
  EXPECT_TRUE(Matches(Named(steps[0], "caption"), "Acme"));
  EXPECT_FALSE(Matches(Named(steps[0], "caption"), "Acme Ltd"));
  EXPECT_TRUE(Matches(Named(steps[0], "text"), "Are you sure?"));
  EXPECT_FALSE(Matches(Named(steps[0], "text"), "Are you?"));
  EXPECT_TRUE(Matches(Named(steps[0], "class"), "anything"));
}

TEST(OrvdriveScenario, NumbersDecimalOrHexAndWhole) {
  long v = 0;
  EXPECT_TRUE(ParseInt("1013", v));
  EXPECT_EQ(v, 1013);
  EXPECT_TRUE(ParseInt("0xFFFF", v));
  EXPECT_EQ(v, 0xFFFF);
  EXPECT_FALSE(ParseInt("12ms", v));
  EXPECT_FALSE(ParseInt("", v));
  EXPECT_FALSE(ParseInt("default", v));
}

}  // namespace
}  // namespace orvdrive
