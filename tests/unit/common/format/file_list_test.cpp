#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "common/format/file_list.h"

namespace {

TEST(ParseHex8, Fields) {
  struct Case {
    const char* field;
    unsigned expected;
  };
  const Case cases[] = {
      {"CE10DC00", 0xCE10DC00u}, {"01BE8E28", 0x01BE8E28u}, {"00000000", 0},         {"FFFFFFFF", 0xFFFFFFFFu},
      {"12345678", 0x12345678u}, {"ABCDEF09", 0xABCDEF09u}, {"ce10dc00", 0x00100000u}, {"CE10DC0", 0},
      {"CE10DC000", 0},          {"", 0},                   {"G1234567", 0x01234567u}, {" 1234567", 0x01234567u},
      {"-1234567", 0x01234567u}, {"0000000A", 10},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.expected, ParseHex8(c.field, strlen(c.field))) << "field \"" << c.field << "\"";
  }
}

// Parses from an exactly sized heap copy, so that AddressSanitizer sees a read past the line.
int ParseExact(const std::string& line, FileEntry* e) {
  char* copy = static_cast<char*>(malloc(line.size() ? line.size() : 1));
  memcpy(copy, line.data(), line.size());
  int r = ParseFileEntry(copy, line.size(), e);
  if (r == 0) e->name = line.data() + (e->name - copy);
  free(copy);
  return r;
}

struct EntryCase {
  const char* line;
  int result;
  const char* name;
  int size;
  bool hasVersion;
  unsigned v[4];
  bool hasTime;
  unsigned low, high;
};

TEST(ParseFileEntry, BothFormsAndEveryError) {
  const EntryCase cases[] = {
      {"Lumivane.exe,29696,1,0,2,0", 0, "Lumivane.exe", 29696, true, {1, 0, 2, 0}, false, 0, 0},
      {"README.TXT,1528.CE10DC00,01BE8E28", 0, "README.TXT", 1528, false, {0, 0, 0, 0}, true, 0xCE10DC00u, 0x01BE8E28u},
      {"docs\\img\\a.gif,2946.CE10DC00,01BE8E28", 0, "docs\\img\\a.gif", 2946, false, {0}, true, 0xCE10DC00u, 0x01BE8E28u},
      // Version form.
      {"a,5", 0, "a", 5, false, {0}, false, 0, 0},
      {"a,5,1,2,3", 0, "a", 5, false, {1, 2, 3, 0}, false, 0, 0},
      {"a,5,1,2,3,4,9,9", 0, "a", 5, true, {1, 2, 3, 4}, false, 0, 0},
      {"a,,,5,,1,,2,3,,4", 0, "a", 5, true, {1, 2, 3, 4}, false, 0, 0},
      {"a, 7, 1, 0, 0, 3", 0, "a", 7, true, {1, 0, 0, 3}, false, 0, 0},
      {"a,5,4294967295,65535,0,1", 0, "a", 5, true, {0xFFFFFFFFu, 65535, 0, 1}, false, 0, 0},
      {"a,b,c,d", 16, nullptr, 0, false, {0}, false, 0, 0},  // the size "b" reads as 0
      {",5,1,2,3,4", 0, "", 5, true, {1, 2, 3, 4}, false, 0, 0},
      {"a,5,1,2,3,4,", 0, "a", 5, true, {1, 2, 3, 4}, false, 0, 0},
      {"a,5\n", 0, "a", 5, false, {0}, false, 0, 0},
      {"", 12, nullptr, 0, false, {0}, false, 0, 0},
      {"no comma here", 12, nullptr, 0, false, {0}, false, 0, 0},
      {"a,", 15, nullptr, 0, false, {0}, false, 0, 0},
      {"a,,,", 15, nullptr, 0, false, {0}, false, 0, 0},
      {"a,0,1,2,3,4", 16, nullptr, 0, false, {0}, false, 0, 0},
      {"a,-5", 16, nullptr, 0, false, {0}, false, 0, 0},
      {"a,x", 16, nullptr, 0, false, {0}, false, 0, 0},
      // Time form: any '.' after the first comma decides.
      {"a,1,0.2,0", 0, "a", 1, false, {0}, false, 0x00000000u, 0},
      {"a,0.CE10DC00,01BE8E28", 0, "a", 0, false, {0}, true, 0xCE10DC00u, 0x01BE8E28u},
      {"a,-3.CE10DC00,01BE8E28", 0, "a", -3, false, {0}, true, 0xCE10DC00u, 0x01BE8E28u},
      {"a,9.00000000,01BE8E28", 0, "a", 9, false, {0}, false, 0, 0x01BE8E28u},
      {"a,9.CE10DC00,00000000", 0, "a", 9, false, {0}, false, 0xCE10DC00u, 0},
      {"a,9.ce10dc00,01BE8E28", 0, "a", 9, false, {0}, true, 0x00100000u, 0x01BE8E28u},
      {"a,9.CE10DC0,01BE8E28", 0, "a", 9, false, {0}, false, 0, 0x01BE8E28u},
      {"a,9.CE10DC00,01BE8E28,zz", 0, "a", 9, false, {0}, true, 0xCE10DC00u, 0x01BE8E28u},
      {"a,9.,,CE10DC00,,01BE8E28", 0, "a", 9, false, {0}, true, 0xCE10DC00u, 0x01BE8E28u},
      {"a,.CE10DC00,01BE8E28", 0, "a", 0, false, {0}, true, 0xCE10DC00u, 0x01BE8E28u},
      {"a,9.", 13, nullptr, 0, false, {0}, false, 0, 0},
      {"a,9.,,,", 13, nullptr, 0, false, {0}, false, 0, 0},
      {"a,9.CE10DC00", 14, nullptr, 0, false, {0}, false, 0, 0},
      {"a,9.CE10DC00,,", 14, nullptr, 0, false, {0}, false, 0, 0},
      {"name,with,commas,5", 16, nullptr, 0, false, {0}, false, 0, 0},  // the name ends at the first comma
  };
  for (const EntryCase& c : cases) {
    FileEntry e;
    memset(&e, 0xAB, sizeof e);
    std::string line = c.line;
    int r = ParseExact(line, &e);
    EXPECT_EQ(c.result, r) << "line \"" << c.line << "\"";
    if (r != 0 || c.result != 0) continue;
    EXPECT_EQ(std::string(c.name), std::string(e.name, e.nameLength)) << "line \"" << c.line << "\"";
    EXPECT_EQ(c.size, e.size) << "line \"" << c.line << "\"";
    EXPECT_EQ(c.hasVersion, e.hasVersion) << "line \"" << c.line << "\"";
    EXPECT_EQ(c.hasTime, e.hasTime) << "line \"" << c.line << "\"";
    for (int i = 0; i < 4; i++) EXPECT_EQ(c.v[i], e.version[i]) << "line \"" << c.line << "\" number " << i;
    EXPECT_EQ(c.low, e.timeLow) << "line \"" << c.line << "\"";
    EXPECT_EQ(c.high, e.timeHigh) << "line \"" << c.line << "\"";
  }
}

std::vector<std::string> Lines(const std::string& resource) {
  // An exactly sized copy: the walk must not read past the resource.
  char* copy = static_cast<char*>(malloc(resource.size() ? resource.size() : 1));
  memcpy(copy, resource.data(), resource.size());
  FileListCursor cur;
  FileListBegin(copy, resource.size(), &cur);
  std::vector<std::string> out;
  const char* line;
  size_t len;
  while (FileListNextLine(&cur, &line, &len) && out.size() < 100) out.push_back(std::string(line, len));
  free(copy);
  return out;
}

std::string Join(const std::vector<std::string>& v) {
  std::string s = "[";
  for (const auto& x : v) {
    s += "\"";
    for (char c : x) s += c == '\r' ? std::string("\\r") : c == '\n' ? std::string("\\n") : std::string(1, c);
    s += "\" ";
  }
  return s + "]";
}

TEST(FileList, LineSplitting) {
  struct Case {
    const char* name;
    std::string resource;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"one line with CR LF", "a,1\r\n", {"a,1"}},
      {"two lines", "a,1\r\nb,2\r\n", {"a,1", "b,2"}},
      // The mended fault: a last line without a line end keeps its last character.
      {"last line without CR LF", "a,1\r\nb,2946", {"a,1", "b,2946"}},
      {"one line without line end", "a,2946", {"a,2946"}},
      {"ends with CR alone", "a,1\r\nb,2\r", {"a,1", "b,2"}},
      {"ends with LF alone", "a,1\r\nb,2\n", {"a,1", "b,2\n"}},
      {"CR without LF between lines", "a,1\rb,2\r\n", {"a,1", "b,2"}},
      {"LF alone does not split", "a,1\nb,2\r\n", {"a,1\nb,2"}},
      {"only one LF is skipped", "a,1\r\n\nb,2\r\n", {"a,1", "\nb,2"}},
      {"empty line between entries", "a,1\r\n\r\nb,2\r\n", {"a,1", "", "b,2"}},
      {"blank line beyond the final CR LF", "a,1\r\n\r\n", {"a,1", ""}},
      {"empty resource", "", {""}},
      {"CR LF alone", "\r\n", {""}},
      {"LF alone", "\n", {"\n"}},
      {"text ends at a NUL", std::string("a,1\r\nb,2\r\n\0c,3\r\n", 17), {"a,1", "b,2"}},
      {"NUL as the resource's last byte", std::string("a,1\r\nb,2\r\n\0", 11), {"a,1", "b,2"}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> got = Lines(c.resource);
    EXPECT_TRUE(got == c.lines) << c.name << ": expected " << Join(c.lines) << " got " << Join(got);
  }
}

TEST(FileList, LastLineKeepsItsSize) {
  // A size of 2946 on a last line without CR LF reads as 2946, not 294.
  std::vector<std::string> lines = Lines("Lumivane.exe,29696,1,0,2,0\r\ndocs\\a.txt,2946.CE10DC00,01BE8E28");
  ASSERT_EQ(2u, lines.size());
  FileEntry e;
  ASSERT_EQ(0, ParseFileEntry(lines[1].data(), lines[1].size(), &e));
  EXPECT_EQ(2946, e.size);
  EXPECT_TRUE(e.hasTime);
  EXPECT_EQ(0x01BE8E28u, e.timeHigh);
  lines = Lines("a.txt,2946");
  ASSERT_EQ(1u, lines.size());
  ASSERT_EQ(0, ParseFileEntry(lines[0].data(), lines[0].size(), &e));
  EXPECT_EQ(2946, e.size);
}

TEST(FileList, EntryInPayload) {
  struct Case {
    unsigned offset;
    int size;
    unsigned payload;
    int expected;
  };
  const Case cases[] = {
      {0, 29696, 71808, 0},
      {68862, 2946, 71808, 0},
      {68862, 2947, 71808, 71},
      {71808, 0, 71808, 0},
      {71808, 1, 71808, 71},
      {0, -1, 71808, 71},
      {10, -2147483647 - 1, 71808, 71},
      {71809, 0, 71808, 71},
      {1, 2147483647, 0xFFFFFFFFu, 0},
      {0xFFFFFFF0u, 2147483647, 0xFFFFFFFFu, 71},
      {0, 0, 0, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.expected, CheckEntryInPayload(c.offset, c.size, c.payload))
        << "offset " << c.offset << " size " << c.size << " payload " << c.payload;
  }
}

}  // namespace
