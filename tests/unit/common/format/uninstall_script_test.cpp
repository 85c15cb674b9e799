#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/format/uninstall_script.h"

namespace {

// Reads every line of text (the bytes given, then a NUL) and joins them for printing.
std::vector<std::string> AllLines(const std::string& text) {
  std::vector<char> buffer(text.begin(), text.end());
  buffer.push_back(0);
  // A guard byte past the terminator: the reader must never reach it.
  buffer.push_back('#');
  UninstallLineCursor cursor(buffer.data());
  std::vector<std::string> lines;
  for (const char* line = cursor.ReadUninstallLine(); line; line = cursor.ReadUninstallLine()) {
    lines.push_back(line);
    if (lines.size() > 100) break;
  }
  EXPECT_EQ('#', buffer.back()) << "guard byte overwritten";
  return lines;
}

std::string Show(const std::vector<std::string>& lines) {
  std::string s = "{";
  for (size_t i = 0; i < lines.size(); i++) s += (i ? ", \"" : "\"") + lines[i] + "\"";
  return s + "}";
}

struct LineCase {
  const char* name;
  std::string text;
  std::vector<std::string> lines;
};

TEST(ReadUninstallLine, SplitsByTheLineRules) {
  const LineCase cases[] = {
      {"CR LF after every line", "Orv\r\nLumivane\r\n1.0.2\r\n", {"Orv", "Lumivane", "1.0.2"}},
      {"no CR LF after the last line", "Orv\r\nLumivane\r\n1.0.2", {"Orv", "Lumivane", "1.0.2"}},
      {"a CR as the last byte", "Orv\r\nLumivane\r", {"Orv", "Lumivane"}},
      {"a lone CR as the whole text", "\r", {""}},
      {"empty lines are lines", "a\r\n\r\n\r\nb\r\n", {"a", "", "", "b"}},
      {"an empty line at the end", "a\r\n\r\n", {"a", ""}},
      {"CR LF alone is one empty line", "\r\n", {""}},
      {"empty text", "", {}},
      {"blanks and commas are kept", " C:\\Program Files\\a, b \r\n", {" C:\\Program Files\\a, b "}},
      {"a line '. ' and '.' are read as lines", ". \r\n.\r\n..\r\n", {". ", ".", ".."}},
      {"a bare LF is part of the line", "a\nb\r\nc\r\n", {"a\nb", "c"}},
      {"a CR not followed by LF takes the next byte with it", "ab\rXcd\r\n", {"ab", "cd"}},
      {"a CR then LF as the last bytes", "x\r\n", {"x"}},
      {"a NUL inside the file ends the text", std::string("a\r\nb\0c\r\n", 8), {"a", "b"}},
      {"a NUL right after a CR ends the text", std::string("a\r\0b\r\n", 6), {"a"}},
  };
  for (const LineCase& c : cases) {
    std::vector<std::string> got = AllLines(c.text);
    EXPECT_EQ(c.lines, got) << c.name << ": expected " << Show(c.lines) << ", got " << Show(got);
  }
}

TEST(ReadUninstallLine, EndIsFinal) {
  char text[] = "one\r\ntwo";
  UninstallLineCursor cursor(text);
  ASSERT_STREQ("one", cursor.ReadUninstallLine());
  EXPECT_FALSE(cursor.AtEnd());
  ASSERT_STREQ("two", cursor.ReadUninstallLine());
  EXPECT_TRUE(cursor.AtEnd());
  EXPECT_EQ(nullptr, cursor.ReadUninstallLine());
  EXPECT_EQ(nullptr, cursor.ReadUninstallLine());
}

TEST(ReadUninstallLine, CutsInPlace) {
  char text[] = "ab\r\ncd\r\n";
  UninstallLineCursor cursor(text);
  char* first = cursor.ReadUninstallLine();
  char* second = cursor.ReadUninstallLine();
  EXPECT_EQ(text, first);
  EXPECT_EQ(text + 4, second);
  EXPECT_EQ(0, text[2]) << "the CR becomes the terminator";
  EXPECT_EQ('\n', text[3]) << "the LF stays";
  EXPECT_EQ(nullptr, cursor.ReadUninstallLine());
}

TEST(ReadUninstallLine, NullTextIsEmpty) {
  UninstallLineCursor cursor(nullptr);
  EXPECT_TRUE(cursor.AtEnd());
  EXPECT_EQ(nullptr, cursor.ReadUninstallLine());
}

TEST(ReadUninstallLine, LinesStayValidAfterLaterReads) {
  char text[] = "HKLM\r\nSoftware\\x\r\n.\r\n";
  UninstallLineCursor cursor(text);
  const char* root = cursor.ReadUninstallLine();
  const char* key = cursor.ReadUninstallLine();
  const char* end = cursor.ReadUninstallLine();
  EXPECT_STREQ("HKLM", root);
  EXPECT_STREQ("Software\\x", key);
  EXPECT_STREQ(".", end);
}

struct MarkerCase {
  const char* line;
  bool end;
};

TEST(IsSectionEnd, OnlyAFullStopAlone) {
  const MarkerCase cases[] = {
      {".", true},   {". ", false}, {" .", false}, {"..", false}, {"", false},
      {".\t", false}, {"x", false},  {".x", false}, {nullptr, false},
  };
  for (const MarkerCase& c : cases) {
    EXPECT_EQ(c.end, IsSectionEnd(c.line))
        << "line \"" << (c.line ? c.line : "(none)") << "\": expected " << c.end;
  }
}

}  // namespace
