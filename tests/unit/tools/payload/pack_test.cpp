#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/format/file_list.h"
#include "common/format/szdd.h"
#include "tests/unit/tools/pe/version_pe.h"
#include "tools/payload/pack.h"

namespace fs = std::filesystem;
using version_pe::PeWithVersion;
using version_pe::VersionInfo;

namespace {

typedef std::vector<uint8_t> Bytes;

TEST(PackNames, Refusals) {
  struct Case {
    std::string name;
    bool ok;
  };
  const Case cases[] = {
      {"Lumivane.exe", true},
      {"docs\\img\\a.gif", true},
      {"README.TXT", true},
      {std::string(200, 'a'), true},
      {std::string(201, 'a'), false},
      {"a,b.txt", false},
      {"", false},
      {"..\\secret", false},
      {"docs\\..\\..\\x", false},
      {".\\a", false},
      {"a\\\\b", false},
      {"\\a", false},
      {"a\\", false},
      {"a:b", false},
      {"a*b", false},
      {"a?b", false},
      {"a\"b", false},
      {"a<b", false},
      {"a|b", false},
      {"a/b", false},
      {"a\rb", false},
      {"a\nb", false},
      {"caf\xc3\xa9.txt", false},
      {"name.", false},
      {"name ", false},
      {"CON", false},
      {"docs\\nul.txt", false},
      {"com1.log", false},
      {"CON .txt", false},
      {"docs\\Aux  .html", false},
      {"console.txt", true},
      {"lpt0", true},
  };
  for (const Case& c : cases) {
    std::string why = CheckPackName(c.name);
    EXPECT_EQ(c.ok, why.empty()) << "name \"" << c.name << "\": " << why;
  }
}

TEST(PackFileList, LinesAndTheInstallerReadsThem) {
  struct Case {
    PackEntry e;
    const char* line;  // null: refused
  };
  const Case cases[] = {
      {{"Lumivane.exe", 29696, true, {1, 0, 2, 0}, 0}, "Lumivane.exe,29696,1,0,2,0"},
      {{"README.TXT", 1528, false, {0, 0, 0, 0}, 0x01BE8E28CE10DC00ull}, "README.TXT,1528.CE10DC00,01BE8E28"},
      {{"docs\\img\\a.gif", 0, false, {0}, 0x01BE8E28CE10DC00ull}, "docs\\img\\a.gif,0.CE10DC00,01BE8E28"},
      {{"x.dll", 10, true, {4, 0, 0, 0}, 0}, "x.dll,10,4,0,0,0"},
      {{"empty.dll", 0, true, {1, 0, 0, 0}, 0}, nullptr},
      {{"a,b", 5, false, {0}, 1}, nullptr},
      {{std::string(201, 'n'), 5, false, {0}, 1}, nullptr},
      {{"huge.bin", 0x80000000ull, false, {0}, 1}, nullptr},
  };
  for (const Case& c : cases) {
    std::string error;
    std::string line = FileListLine(c.e, &error);
    if (!c.line) {
      EXPECT_EQ("", line) << c.e.name.substr(0, 20);
      EXPECT_FALSE(error.empty()) << c.e.name.substr(0, 20);
      continue;
    }
    EXPECT_EQ(std::string(c.line), line) << error;
    FileEntry f;
    ASSERT_EQ(0, ParseFileEntry(line.data(), line.size(), &f)) << line;
    EXPECT_EQ(c.e.name, std::string(f.name, f.nameLength)) << line;
    EXPECT_EQ((int)c.e.size, f.size) << line;
    EXPECT_EQ(c.e.hasVersion, f.hasVersion) << line;
    if (c.e.hasVersion) {
      for (int i = 0; i < 4; i++) EXPECT_EQ(c.e.version[i], f.version[i]) << line;
    } else {
      EXPECT_TRUE(f.hasTime) << line;
      EXPECT_EQ((uint32_t)c.e.fileTime, f.timeLow) << line;
      EXPECT_EQ((uint32_t)(c.e.fileTime >> 32), f.timeHigh) << line;
    }
  }
}

TEST(PackOrder, Lines) {
  std::vector<std::string> got = ParseOrderList("Lumivane.exe\r\n# comment\n\n  docs/img/a.gif  \r\ndocs\\b.txt\nlast");
  std::vector<std::string> expected = {"Lumivane.exe", "docs\\img\\a.gif", "docs\\b.txt", "last"};
  EXPECT_EQ(expected, got);
}

// A scratch directory of its own for each test, removed afterwards.
class PackDir : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/orv_pack_test_XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(tmpl));
    root_ = tmpl;
    fs::create_directories(root_ / "payload");
    fs::create_directories(root_ / "out");
  }
  void TearDown() override { fs::remove_all(root_); }
  void Write(const std::string& rel, const std::string& content, time_t mtime = 924940952) {
    fs::path p = root_ / "payload" / rel;
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << content;
    struct timespec t[2] = {{mtime, 0}, {mtime, 0}};
    utimensat(AT_FDCWD, p.c_str(), t, 0);
  }
  std::string payload() const { return (root_ / "payload").string(); }
  std::string out() const { return (root_ / "out").string(); }
  fs::path root_;
};

TEST_F(PackDir, OrderThenSortedAndTheStreamExpands) {
  Write("index.html", "<html>index</html>\n");
  Write("README.TXT", "Read me first.\r\n");
  Write("docs/img/a.gif", "GIF89a....");
  Write("docs/b.txt", std::string(5000, 'b'));
  Bytes pe = PeWithVersion(VersionInfo({{"080904B0", "1, 0, 2, 0"}}));
  Write("Lumivane.exe", std::string(pe.begin(), pe.end()));
  PackPlan plan;
  std::string error;
  ASSERT_TRUE(PlanPack(payload(), {"Lumivane.exe", "README.TXT"}, &plan, &error)) << error;
  ASSERT_TRUE(WritePlannedOutputs(out(), plan, PackOptions(), &error)) << error;
  std::string expected = "Lumivane.exe," + std::to_string(pe.size()) +
                         ",1,0,2,0\r\n"
                         "README.TXT,16.CE10DC00,01BE8E28\r\n"
                         "docs\\b.txt,5000.CE10DC00,01BE8E28\r\n"
                         "docs\\img\\a.gif,10.CE10DC00,01BE8E28\r\n"
                         "index.html,19.CE10DC00,01BE8E28\r\n";
  EXPECT_EQ(expected, plan.fileList);
  EXPECT_EQ(5u, plan.entries.size());
  EXPECT_EQ(5u, plan.hostPaths.size());

  // The FILELIST written is the plan's; DATA is read back from the file.
  std::ifstream fl(root_ / "out" / "FILELIST", std::ios::binary);
  EXPECT_EQ(expected, std::string((std::istreambuf_iterator<char>(fl)), std::istreambuf_iterator<char>()));
  std::ifstream df(root_ / "out" / "DATA", std::ios::binary);
  Bytes data((std::istreambuf_iterator<char>(df)), std::istreambuf_iterator<char>());
  int files = 0;
  for (auto& e : fs::directory_iterator(root_ / "out")) files += e.is_regular_file() ? 1 : 0;
  EXPECT_EQ(2, files) << "no temporary file is left";

  unsigned length = 0;
  ASSERT_EQ(kSzddOk, SzddReadHeader(data.data(), data.size(), &length));
  std::string all = std::string(pe.begin(), pe.end()) + "Read me first.\r\n" + std::string(5000, 'b') + "GIF89a...." +
                    "<html>index</html>\n";
  ASSERT_EQ(all.size(), length);
  EXPECT_EQ(all.size(), plan.dataSize);
  Bytes back(length);
  ASSERT_EQ(kSzddOk, SzddExpand(data.data(), data.size(), back.data(), back.size(), nullptr));
  EXPECT_EQ(all, std::string(back.begin(), back.end()));

  // The installer's reader walks the list and finds every entry inside the payload.
  FileListCursor cur;
  FileListBegin(plan.fileList.data(), plan.fileList.size(), &cur);
  const char* line;
  size_t len;
  unsigned offset = 0, count = 0;
  while (FileListNextLine(&cur, &line, &len)) {
    FileEntry e;
    ASSERT_EQ(0, ParseFileEntry(line, len, &e)) << std::string(line, len);
    ASSERT_EQ(0, CheckEntryInPayload(offset, e.size, length));
    offset += (unsigned)e.size;
    count++;
  }
  EXPECT_EQ(5u, count);
  EXPECT_EQ(length, offset);
}

TEST_F(PackDir, Refusals) {
  struct Case {
    const char* name;
    std::vector<std::pair<std::string, std::string>> files;
    std::vector<std::string> order;
    const char* expect;  // a part of the message
  };
  const Case cases[] = {
      {"comma in a name", {{"a,b.txt", "x"}}, {}, "comma"},
      {"order leaves the directory", {{"a.txt", "x"}}, {"..\\a.txt"}, "leaves the payload directory"},
      {"order names a missing file", {{"a.txt", "x"}}, {"b.txt"}, "no such file"},
      {"order lists a file twice", {{"a.txt", "x"}}, {"a.txt", "a.txt"}, "twice"},
      {"names differing in case", {{"A.txt", "x"}, {"a.txt", "y"}}, {}, "ignore case"},
      {"directory that is also a file", {{"Docs", "x"}, {"docs/a.txt", "y"}}, {}, "also the file"},
      {"name too long", {{std::string(150, 'd') + "/" + std::string(60, 'f'), "x"}}, {}, "longer than 200"},
      {"no files", {}, {}, "no files"},
      {"only empty files", {{"a.txt", ""}, {"b.txt", ""}}, {}, "empty"},
  };
  for (const Case& c : cases) {
    fs::remove_all(root_ / "payload");
    fs::create_directories(root_ / "payload");
    for (const auto& f : c.files) Write(f.first, f.second);
    PackPlan plan;
    std::string error;
    EXPECT_FALSE(PlanPack(payload(), c.order, &plan, &error)) << c.name;
    EXPECT_NE(std::string::npos, error.find(c.expect)) << c.name << ": got \"" << error << "\"";
  }
}

TEST_F(PackDir, LinkLeadingOutside) {
  Write("a.txt", "x");
  std::ofstream(root_ / "outside.txt") << "secret";
  fs::create_symlink(root_ / "outside.txt", root_ / "payload" / "link.txt");
  PackPlan plan;
  std::string error;
  EXPECT_FALSE(PlanPack(payload(), {}, &plan, &error));
  EXPECT_NE(std::string::npos, error.find("leads out of the payload directory")) << error;
}

TEST_F(PackDir, OutputsWholeOrNotAtAll) {
  Write("a.txt", "hello");
  PackPlan plan;
  std::string error;
  ASSERT_TRUE(PlanPack(payload(), {}, &plan, &error)) << error;
  // An output directory that does not exist: refused, nothing made.
  EXPECT_FALSE(WritePlannedOutputs((root_ / "missing").string(), plan, PackOptions(), &error));
  EXPECT_FALSE(fs::exists(root_ / "missing"));
  // DATA cannot be put in place (a directory of that name): neither output changes and no
  // temporary file stays.
  std::ofstream(root_ / "out" / "FILELIST") << "old list";
  fs::create_directories(root_ / "out" / "DATA" / "x");
  EXPECT_FALSE(WritePlannedOutputs(out(), plan, PackOptions(), &error));
  std::ifstream fl(root_ / "out" / "FILELIST");
  EXPECT_EQ("old list", std::string((std::istreambuf_iterator<char>(fl)), std::istreambuf_iterator<char>()));
  int entries = 0;
  for (auto& e : fs::directory_iterator(root_ / "out")) entries += 1 + 0 * (int)e.is_directory();
  EXPECT_EQ(2, entries) << "FILELIST and the DATA directory only";
}

}  // namespace
