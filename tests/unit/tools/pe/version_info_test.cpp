// The version lookup: the FileVersion text of a PE file, and how leniently the image is read
// for it beside the whole reader (ParsePe whole, ReadResourceSpans).
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "tests/unit/tools/pe/version_pe.h"
#include "tools/pe/pe_image.h"
#include "tools/pe/resource_tree.h"
#include "tools/pe/version_info.h"

namespace fs = std::filesystem;
using namespace version_pe;

namespace {

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

// Whether the whole reader finds a version resource in the image.
bool WholeReaderFindsVersion(const Bytes& b) {
  PeImage pe;
  std::vector<ResourceSpan> spans;
  std::string error;
  if (!ParsePe(b.data(), b.size(), &pe, &error) || !ReadResourceSpans(b.data(), b.size(), pe, &spans, &error))
    return false;
  for (const ResourceSpan& s : spans)
    if (s.type == ResourceId::Number(kResourceVersion)) return true;
  return false;
}

TEST(PeFileVersion, LenientWhereTheWholeReaderRefuses) {
  // The packer takes the version of every file it took it of before; where the whole reader
  // refuses an image, the lenient lookup still reads it, and what both refuse stays refused.
  const size_t opt = kVersionPeOpt, sec = kVersionPeSection, tree = 0x200;
  struct Case {
    const char* name;
    std::function<void(Bytes&)> change;
    bool whole;    // the whole reader finds the version resource
    bool version;  // the lenient lookup gives "1, 0, 2, 0"
  };
  const Case cases[] = {
      {"well formed", [](Bytes&) {}, true, true},
      {"alignments 0", [&](Bytes& b) { Put32(b, opt + 32, 0); Put32(b, opt + 36, 0); }, false, true},
      {"file alignment not a power of two", [&](Bytes& b) { Put32(b, opt + 36, 0x300); }, false, true},
      {"section's raw data past the end of the file", [&](Bytes& b) { Put32(b, sec + 16, 0x10000); }, false, true},
      {"more data directories than the optional header holds", [&](Bytes& b) { Put32(b, opt + 92, 64); }, false,
       true},
      {"version data past the section's virtual size", [&](Bytes& b) { Put32(b, sec + 8, 0x58); }, false, true},
      {"a damaged entry beside the version's type",
       [&](Bytes& b) { Put16(b, tree + 0x0E, 2); }, false, true},
      {"a language entry overlapping the data entry", [&](Bytes& b) { Put16(b, tree + 0x30 + 0x0E, 2); }, false,
       true},
      {"no name 1: the first name", [&](Bytes& b) { Put32(b, tree + 0x28, 7); }, true, true},
      {"another language: the first", [&](Bytes& b) { Put32(b, tree + 0x40, 0x407); }, true, true},
      // The whole reader takes a number among the named entries; the lookup matches numbered
      // entries only.
      {"version type among the named entries",
       [&](Bytes& b) { Put16(b, tree + 0x0C, 1); Put16(b, tree + 0x0E, 0); }, true, false},
      {"types: data where a directory belongs", [&](Bytes& b) { Put32(b, tree + 0x14, 0x18); }, false, false},
      {"languages: a directory where data belong",
       [&](Bytes& b) { Put32(b, tree + 0x44, 0x80000000u | 0x48); }, false, false},
      {"version data beyond the end of the file", [&](Bytes& b) { Put32(b, tree + 0x4C, 0x10000); }, false, false},
      {"resource directory in no section", [&](Bytes& b) { Put32(b, opt + 96 + 16, 0x9000); }, false, false},
      {"two data directories: no resource one", [&](Bytes& b) { Put32(b, opt + 92, 2); }, false, false},
      {"optional header of unknown kind", [&](Bytes& b) { Put16(b, opt, 0x107); }, false, false},
      {"no PE signature", [&](Bytes& b) { b[0x41] = 'X'; }, false, false},
  };
  for (const Case& c : cases) {
    Bytes b = PeWithVersion(VersionInfo({{"080904B0", "1, 0, 2, 0"}}));
    c.change(b);
    EXPECT_EQ(c.whole, WholeReaderFindsVersion(b)) << c.name;
    std::string text = "unset";
    EXPECT_EQ(c.version, PeFileVersionText(b.data(), b.size(), &text)) << c.name;
    if (c.version) {
      EXPECT_EQ("1, 0, 2, 0", text) << c.name;
    }
  }
}

}  // namespace
