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
#include "tools/payload/pack.h"
#include "tools/pe/version_info.h"

namespace fs = std::filesystem;

namespace {

typedef std::vector<uint8_t> Bytes;

void Put16(Bytes& b, size_t at, uint32_t v) {
  b[at] = (uint8_t)v;
  b[at + 1] = (uint8_t)(v >> 8);
}
void Put32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; i++) b[at + i] = (uint8_t)(v >> (8 * i));
}
void Pad4(Bytes& b) {
  while (b.size() % 4) b.push_back(0);
}

// One block of a version resource: length, value length, type, key, value, children.
Bytes VersionBlock(const std::string& key, const Bytes& value, uint32_t valueLength, bool text,
                   const std::vector<Bytes>& children) {
  Bytes b(6, 0);
  for (char c : key) {
    b.push_back((uint8_t)c);
    b.push_back(0);
  }
  b.push_back(0);
  b.push_back(0);
  Pad4(b);
  b.insert(b.end(), value.begin(), value.end());
  for (const Bytes& c : children) {
    Pad4(b);
    b.insert(b.end(), c.begin(), c.end());
  }
  Put16(b, 0, (uint32_t)b.size());
  Put16(b, 2, valueLength);
  Put16(b, 4, text ? 1 : 0);
  return b;
}

Bytes StringValue(const std::string& key, const std::string& value) {
  Bytes v;
  for (char c : value) {
    v.push_back((uint8_t)c);
    v.push_back(0);
  }
  v.push_back(0);
  v.push_back(0);
  return VersionBlock(key, v, (uint32_t)value.size() + 1, true, {});
}

// A version resource with one string table per (table, FileVersion) pair.
Bytes VersionInfo(const std::vector<std::pair<std::string, std::string>>& tables) {
  std::vector<Bytes> tableBlocks;
  for (const auto& t : tables) {
    tableBlocks.push_back(VersionBlock(t.first, {}, 0, true,
                                       {StringValue("CompanyName", "Kestrel Lane Software"),
                                        StringValue("FileVersion", t.second), StringValue("ProductName", "Lumivane")}));
  }
  Bytes fixed(52, 0);
  Put32(fixed, 0, 0xFEEF04BD);
  Bytes stringInfo = VersionBlock("StringFileInfo", {}, 0, true, tableBlocks);
  Bytes varInfo = VersionBlock("VarFileInfo", {}, 0, true, {VersionBlock("Translation", Bytes{9, 8, 0xB0, 4}, 4, false, {})});
  return VersionBlock("VS_VERSION_INFO", fixed, 52, false, {stringInfo, varInfo});
}

// A minimal 32-bit PE file whose one section holds a resource tree with RT_VERSION.
Bytes PeWithVersion(const Bytes& version) {
  const size_t kRaw = 0x200, kRva = 0x1000;
  Bytes rsrc(0x58, 0);
  Put16(rsrc, 0x0E, 1);                 // root: one id entry
  Put32(rsrc, 0x10, 16);                //   RT_VERSION
  Put32(rsrc, 0x14, 0x80000000u | 0x18);
  Put16(rsrc, 0x18 + 0x0E, 1);          // names: one id entry
  Put32(rsrc, 0x28, 1);
  Put32(rsrc, 0x2C, 0x80000000u | 0x30);
  Put16(rsrc, 0x30 + 0x0E, 1);          // languages: one id entry
  Put32(rsrc, 0x40, 0x809);
  Put32(rsrc, 0x44, 0x48);
  Put32(rsrc, 0x48, (uint32_t)(kRva + 0x58));  // data entry
  Put32(rsrc, 0x4C, (uint32_t)version.size());
  rsrc.insert(rsrc.end(), version.begin(), version.end());

  Bytes pe(kRaw, 0);
  pe[0] = 'M';
  pe[1] = 'Z';
  Put32(pe, 0x3C, 0x40);
  Put32(pe, 0x40, 0x00004550);
  size_t coff = 0x44, opt = coff + 20;
  Put16(pe, coff, 0x14C);
  Put16(pe, coff + 2, 1);
  Put16(pe, coff + 16, 224);
  Put16(pe, opt, 0x10B);
  Put32(pe, opt + 92, 16);
  Put32(pe, opt + 96 + 16, (uint32_t)kRva);
  Put32(pe, opt + 96 + 20, (uint32_t)rsrc.size());
  size_t sec = opt + 224;
  memcpy(&pe[sec], ".rsrc", 5);
  Put32(pe, sec + 8, (uint32_t)rsrc.size());
  Put32(pe, sec + 12, (uint32_t)kRva);
  Put32(pe, sec + 16, (uint32_t)rsrc.size());
  Put32(pe, sec + 20, (uint32_t)kRaw);
  pe.insert(pe.end(), rsrc.begin(), rsrc.end());
  return pe;
}

TEST(PeFileVersion, StringTables) {
  struct Case {
    const char* name;
    std::vector<std::pair<std::string, std::string>> tables;
    bool found;
    const char* text;
  };
  const Case cases[] = {
      {"UK table", {{"080904B0", "1, 0, 2, 0"}}, true, "1, 0, 2, 0"},
      {"US table", {{"040904B0", "1, 0, 0, 3"}}, true, "1, 0, 0, 3"},
      {"UK before US", {{"040904B0", "2, 0, 0, 0"}, {"080904B0", "3, 0, 0, 0"}}, true, "3, 0, 0, 0"},
      {"lower-case table key", {{"040904b0", "4.00.950"}}, true, "4.00.950"},
      {"other tables only", {{"040904E4", "1, 0, 0, 0"}, {"040704B0", "1, 0, 0, 0"}}, false, ""},
      {"no tables", {}, false, ""},
      {"empty FileVersion", {{"080904B0", ""}}, true, ""},
  };
  for (const Case& c : cases) {
    Bytes pe = PeWithVersion(VersionInfo(c.tables));
    std::string text = "unset";
    bool found = PeFileVersionText(pe.data(), pe.size(), &text);
    EXPECT_EQ(c.found, found) << c.name;
    if (found) {
      EXPECT_EQ(std::string(c.text), text) << c.name;
    }
  }
}

TEST(PeFileVersion, NotPeOrCutShort) {
  Bytes pe = PeWithVersion(VersionInfo({{"080904B0", "1, 0, 2, 0"}}));
  std::string text;
  ASSERT_TRUE(PeFileVersionText(pe.data(), pe.size(), &text));
  // Every shorter file, from exactly sized copies: no read beyond the end, and no version
  // once the FileVersion string is cut.
  for (size_t n = 0; n < pe.size(); n++) {
    uint8_t* copy = static_cast<uint8_t*>(malloc(n ? n : 1));
    memcpy(copy, pe.data(), n);
    std::string t;
    bool found = PeFileVersionText(copy, n, &t);
    free(copy);
    if (found) {
      EXPECT_EQ("1, 0, 2, 0", t.substr(0, 10)) << "cut at " << n;
    }
  }
  const char* texts[] = {"", "MZ", "plain text file, not a program at all, long enough to look at its header ......."};
  for (const char* s : texts) {
    EXPECT_FALSE(PeFileVersionText(reinterpret_cast<const uint8_t*>(s), strlen(s), &text)) << s;
  }
  // Corrupt offsets everywhere must not lead outside the data either.
  for (size_t at = 0; at < pe.size(); at++) {
    Bytes bad = pe;
    bad[at] ^= 0xFF;
    std::string t;
    PeFileVersionText(bad.data(), bad.size(), &t);
  }
}

TEST(PeFileVersion, RealWindowsFile) {
  // A Windows library of this machine's Wine, when present: its version is "5.01.2600.2180"
  // or similar; what matters is that a real file is read.
  const char* path = "/usr/lib/i386-linux-gnu/wine/i386-windows/user32.dll";
  std::ifstream f(path, std::ios::binary);
  if (!f) GTEST_SKIP() << path << " not present";
  Bytes b(fs::file_size(path));
  f.read(reinterpret_cast<char*>(b.data()), (std::streamsize)b.size());
  std::string text;
  EXPECT_TRUE(PeFileVersionText(b.data(), b.size(), &text));
  EXPECT_FALSE(text.empty());
}

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
