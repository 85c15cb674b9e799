#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "common/format/install_script.h"

namespace {

// Runs the cursor over a copy of text (followed by a NUL, as the installer holds it) and
// returns every line until the end; "<none>" never occurs as a line of the cases.
std::vector<std::string> ReadAll(const std::string& text) {
  std::vector<char> buffer(text.begin(), text.end());
  buffer.push_back(0);
  ScriptCursor cursor;
  cursor.Reset(buffer.data(), (unsigned)text.size());
  std::vector<std::string> lines;
  for (char* line = cursor.Next(); line; line = cursor.Next()) {
    lines.push_back(line);
    if (lines.size() > 100) break;
  }
  return lines;
}

std::string Show(const std::vector<std::string>& lines) {
  std::string s = "[";
  for (size_t i = 0; i < lines.size(); i++) s += (i ? "|" : "") + lines[i];
  return s + "]";
}

struct LineCase {
  const char* name;
  std::string text;
  std::vector<std::string> lines;
};

TEST(NextScriptLine, EdgeCases) {
  const LineCase cases[] = {
      {"empty text", "", {}},
      {"one line with CR LF", "abc\r\n", {"abc"}},
      {"last line without CR LF", "abc\r\ndef", {"abc", "def"}},
      {"version line of the example", "1.0.2\t\t\t\t\t\t\t; Version\r\n", {"1.0.2"}},
      {"blank before the comment stays", "value ; c\r\n", {"value "}},
      {"TABs without a comment stay", "value\t\t\r\n", {"value\t\t"}},
      {"only the last ; starts the comment", "a;b;c\t; comment\r\n", {"a;b;c"}},
      {"only a comment", "; comment\r\n", {""}},
      {"only TABs and a comment", "\t\t; comment\r\n", {""}},
      {"blanks before TABs stay", " \t;x\r\n", {" "}},
      {"empty line", "\r\nx\r\n", {"", "x"}},
      {"lone CR keeps the next line whole", "ab\rcd\r\n", {"ab", "cd"}},
      {"CR CR LF", "ab\r\r\ncd\r\n", {"ab", "", "cd"}},
      {"CR as the last byte", "ab\r", {"ab"}},
      {"lone LF is part of the line", "ab\ncd\nef\n", {"ab\ncd\nef\n"}},
      {"list end with comment", ".\t\t; Indicates last\r\n", {"."}},
      {"semicolon inside a path", "Orv\\Lumivane\\\t; off C:\\Program files\r\n", {"Orv\\Lumivane\\"}},
  };
  for (const LineCase& c : cases) {
    std::vector<std::string> got = ReadAll(c.text);
    EXPECT_EQ(Show(c.lines), Show(got)) << c.name;
  }
}

TEST(NextScriptLine, NoneAfterTheEndStaysNone) {
  char text[] = "a\r\nb";
  ScriptCursor cursor;
  cursor.Reset(text, 4);
  EXPECT_STREQ("a", cursor.Next());
  EXPECT_STREQ("b", cursor.Next());
  EXPECT_EQ(nullptr, cursor.Next());
  EXPECT_EQ(nullptr, cursor.Next());
  ScriptCursor unset;
  EXPECT_EQ(nullptr, unset.Next());
}

TEST(NextScriptLine, TextWithoutNulInsideItsSizeIsNotReadPastItsEnd) {
  // The cursor stops at the size even when the buffer goes on: the NUL after the text is
  // the only terminator that the last line relies on.
  char text[] = "ab\r\ncd\0zz";
  ScriptCursor cursor;
  cursor.Reset(text, 6);
  EXPECT_STREQ("ab", cursor.Next());
  EXPECT_STREQ("cd", cursor.Next());
  EXPECT_EQ(nullptr, cursor.Next());
}

TEST(NextScriptLine, ExampleScript) {
  FILE* f = fopen(ORV_SOURCE_DIR "/resources/example/SCRIPT", "rb");
  ASSERT_NE(nullptr, f);
  std::string text;
  char chunk[512];
  size_t n;
  while ((n = fread(chunk, 1, sizeof chunk, f)) > 0) text.append(chunk, n);
  fclose(f);
  std::vector<std::string> got = ReadAll(text);
  const std::vector<std::string> expected = {
      "95,98,NT,W2",
      "UnstOrv.exe,1,0,0,3",
      "Kestrel Lane Software",
      "Lumivane",
      "1.0.2",
      "http://www.kestrellane.co.uk/download/",
      ".",
      ".",
      "Orv\\Lumivane\\",
      "Lumivane",
      "index.html,Lumivane documentation",
      "cdroms.html,Writing HTML CD-ROMs article",
      ".",
      ".",
      ".",
      "index.html,&View the Lumivane documentation?,on",
      ".",
  };
  EXPECT_EQ(Show(expected), Show(got));
}

TEST(IsListEnd, ExactFullStopOnly) {
  const struct {
    const char* line;
    bool end;
  } cases[] = {{".", true}, {". ", false}, {" .", false}, {"..", false}, {"", false}, {".\t", false}};
  for (const auto& c : cases) EXPECT_EQ(c.end, IsListEnd(c.line)) << "line \"" << c.line << "\"";
}

std::string Tokens(const char* text) {
  std::vector<char> buffer(text, text + strlen(text) + 1);
  TokenSplit split(buffer.data());
  std::string out;
  int n = 0;
  for (char* field = split.Next(); field; field = split.Next()) out += (n++ ? "|" : "") + std::string(field);
  return out;
}

TEST(TokenSplit, Fields) {
  const struct {
    const char* line;
    const char* fields;
  } cases[] = {
      {"95,98,NT,W2", "95|98|NT|W2"},
      {"", ""},
      {",,,", ""},
      {",95,,NT,", "95|NT"},
      {"95, 98", "95| 98"},
      {"UnstOrv.exe,1,0,0,3", "UnstOrv.exe|1|0|0|3"},
      {"single", "single"},
  };
  for (const auto& c : cases) EXPECT_EQ(std::string(c.fields), Tokens(c.line)) << "line \"" << c.line << "\"";
}

TEST(TokenSplit, FirstCommaCutsTheLine) {
  char line[] = "UnstOrv.exe,1,0";
  TokenSplit split(line);
  EXPECT_STREQ("UnstOrv.exe", split.Next());
  EXPECT_STREQ("UnstOrv.exe", line);
  EXPECT_STREQ("1", split.Next());
  EXPECT_STREQ("0", split.Next());
  EXPECT_EQ(nullptr, split.Next());
  EXPECT_EQ(nullptr, split.Next());
}

TEST(SplitFirstComma, Cases) {
  const struct {
    const char* line;
    const char* first;
    const char* rest;  // nullptr: no comma
  } cases[] = {
      {"index.html,Lumivane documentation", "index.html", "Lumivane documentation"},
      {"a,b,c", "a", "b,c"},
      {",title", "", "title"},
      {"path,", "path", ""},
      {"no comma", "no comma", nullptr},
      {"a, b", "a", " b"},
  };
  for (const auto& c : cases) {
    std::vector<char> buffer(c.line, c.line + strlen(c.line) + 1);
    char* rest = SplitFirstComma(buffer.data());
    EXPECT_STREQ(c.first, buffer.data()) << "line \"" << c.line << "\"";
    if (c.rest) {
      ASSERT_NE(nullptr, rest) << "line \"" << c.line << "\"";
      EXPECT_STREQ(c.rest, rest) << "line \"" << c.line << "\"";
    } else {
      EXPECT_EQ(nullptr, rest) << "line \"" << c.line << "\"";
    }
  }
}

TEST(SplitTwoCommas, Cases) {
  const struct {
    const char* line;
    int count;
    const char* f0;
    const char* f1;
    const char* f2;
  } cases[] = {
      {"index.html,&View the Lumivane documentation?,on", 3, "index.html", "&View the Lumivane documentation?", "on"},
      {"a,b,c,d", 3, "a", "b", "c,d"},
      {"a,b", 2, "a", "b", ""},
      {"a", 1, "a", "", ""},
      {",,", 3, "", "", ""},
      {"a, b ,ON ", 3, "a", " b ", "ON "},
  };
  for (const auto& c : cases) {
    std::vector<char> buffer(c.line, c.line + strlen(c.line) + 1);
    char* fields[3] = {nullptr, nullptr, nullptr};
    EXPECT_EQ(c.count, SplitTwoCommas(buffer.data(), fields)) << "line \"" << c.line << "\"";
    EXPECT_STREQ(c.f0, fields[0]) << "line \"" << c.line << "\"";
    EXPECT_STREQ(c.f1, fields[1]) << "line \"" << c.line << "\"";
    EXPECT_STREQ(c.f2, fields[2]) << "line \"" << c.line << "\"";
  }
}

TEST(ReadScriptNumber, Cases) {
  const struct {
    const char* field;
    int value;
  } cases[] = {
      {"3", 3},     {" 12", 12}, {"\t7", 7},      {"+4", 4},
      {"-2", -2},   {"", 0},     {"x", 0},        {"10abc", 10},
      {"1.5", 1},   {" - 1", 0}, {"2147483647", 2147483647}, {"99999999999", 2147483647},
  };
  for (const auto& c : cases) EXPECT_EQ(c.value, ReadScriptNumber(c.field)) << "field \"" << c.field << "\"";
}

}  // namespace
