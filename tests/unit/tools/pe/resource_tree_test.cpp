// The resource writer: reading a PE image's resource tree, merging resources into it and
// writing a new resource section, on PE images made here byte by byte.
#include "tools/pe/resource_tree.h"

#include <gtest/gtest.h>
#include <string.h>

#include <algorithm>

#include <string>
#include <vector>

#include "tests/unit/synthetic_pe.h"

namespace {

std::vector<uint8_t> Bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

Resource Res(ResourceId type, ResourceId name, uint16_t language, const std::string& data) {
  Resource r;
  r.type = type;
  r.name = name;
  r.language = language;
  r.data = Bytes(data);
  return r;
}

Resource Files(const std::string& name, const std::string& data) {
  return Res(ResourceId::Name("FILES"), ResourceId::Name(name), 0x409, data);
}

// The resources a stub carries: dialogs, an icon and its group, a version, a manifest.
std::vector<Resource> StubResources() {
  std::vector<Resource> list;
  for (uint16_t id : {103, 104, 106, 107})
    list.push_back(Res(ResourceId::Number(kResourceDialog), ResourceId::Number(id), 0x409, "dialog " + std::to_string(id)));
  list.push_back(Res(ResourceId::Number(kResourceIcon), ResourceId::Number(1), 0x409, std::string(744, '\x11')));
  list.push_back(Res(ResourceId::Number(kResourceGroupIcon), ResourceId::Number(105), 0x409, "group"));
  list.push_back(Res(ResourceId::Number(kResourceVersion), ResourceId::Number(1), 0x409, "version block"));
  list.push_back(Res(ResourceId::Number(kResourceManifest), ResourceId::Number(1), 0, "<assembly/>"));
  return list;
}

std::vector<Resource> ReadBack(const std::vector<uint8_t>& image) {
  PeImage pe;
  std::string error;
  std::vector<Resource> list;
  EXPECT_TRUE(ParsePe(image.data(), image.size(), &pe, &error)) << error;
  EXPECT_TRUE(ReadResources(image.data(), image.size(), pe, &list, &error)) << error;
  return list;
}

std::string Show(const Resource& r) {
  return r.type.Text() + "/" + r.name.Text() + "/" + std::to_string(r.language) + " (" + std::to_string(r.data.size()) +
         " bytes)";
}

// Every resource of `want` is in `got` with the same bytes, and nothing else is.
void ExpectSameResources(const std::vector<Resource>& want, const std::vector<Resource>& got) {
  EXPECT_EQ(want.size(), got.size());
  for (const Resource& w : want) {
    const Resource* g = FindResourceIn(got, w.type, w.name);
    ASSERT_NE(g, nullptr) << "missing " << Show(w);
    EXPECT_EQ(w.language, g->language) << Show(w);
    EXPECT_EQ(w.codePage, g->codePage) << Show(w);
    EXPECT_TRUE(w.data == g->data) << "bytes differ: expected " << Show(w) << ", got " << Show(*g);
  }
}

// The checksum computed another way: every 16-bit word summed without folding, folded at
// the end.
uint32_t SlowChecksum(const std::vector<uint8_t>& f, size_t at) {
  uint64_t sum = 0;
  for (size_t i = 0; i < f.size(); i += 2) {
    if (i >= at && i < at + 4) continue;
    sum += f[i] + (i + 1 < f.size() ? f[i + 1] * 256u : 0u);
  }
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  return (uint32_t)sum + (uint32_t)f.size();
}

void ExpectHeadersConsistent(const std::vector<uint8_t>& out) {
  PeImage pe;
  std::string error;
  ASSERT_TRUE(ParsePe(out.data(), out.size(), &pe, &error)) << error;
  const PeSection& last = pe.sections.back();
  EXPECT_EQ(pe.resourceRva, last.va);
  EXPECT_EQ(pe.resourceSize, last.virtualSize);
  EXPECT_EQ(pe.sizeOfImage, PeAlignUp(last.va + last.virtualSize, pe.sectionAlignment));
  EXPECT_EQ(out.size(), (size_t)last.rawOffset + last.rawSize);
  EXPECT_EQ(0u, last.rawSize % pe.fileAlignment);
  // The loader takes sections that follow one another in memory without a gap.
  for (size_t i = 1; i < pe.sections.size(); i++) {
    const PeSection& p = pe.sections[i - 1];
    EXPECT_EQ(PeAlignUp(p.va + (p.virtualSize ? p.virtualSize : p.rawSize), pe.sectionAlignment), pe.sections[i].va)
        << "section " << i;
  }
  uint32_t initialised = 0;
  for (const PeSection& s : pe.sections)
    if (strcmp(s.name, ".text") != 0) initialised += s.rawSize;
  EXPECT_EQ(initialised, GetU32(&out[pe.InitializedDataOffset()]));
  EXPECT_EQ(SlowChecksum(out, pe.ChecksumOffset()), GetU32(&out[pe.ChecksumOffset()]));
}

TEST(ResourceTree, ReadsATreeLaidOutByHand) {
  // root -> type "FILES" -> name "SCRIPT" -> language 0x409 -> "abc", and 16 -> 1 -> 0 -> "VERS":
  // directories at 0, 32, 56, 80, 104; data entries at 128 and 176; strings at 144 and 156.
  std::vector<uint8_t> t(200, 0);
  struct W { size_t at; uint32_t v; int width; } writes[] = {
      {12, 1, 2}, {14, 1, 2}, {16, 0x80000000u | 144, 4}, {20, 0x80000000u | 32, 4},  // root
      {24, 16, 4}, {28, 0x80000000u | 56, 4},
      {32 + 12, 1, 2}, {48, 0x80000000u | 156, 4}, {52, 0x80000000u | 80, 4},  // names of FILES
      {56 + 14, 1, 2}, {72, 1, 4}, {76, 0x80000000u | 104, 4},                   // names of 16
      {80 + 14, 1, 2}, {96, 0x409, 4}, {100, 128, 4},                            // FILES/SCRIPT
      {104 + 14, 1, 2}, {120, 0, 4}, {124, 176, 4},                              // 16/1
      {128, 0x2000 + 172, 4}, {132, 3, 4}, {136, 1252, 4},                       // data entries
      {176, 0x2000 + 192, 4}, {180, 4, 4},
      {144, 5, 2}, {146, 'F', 2}, {148, 'I', 2}, {150, 'L', 2}, {152, 'E', 2}, {154, 'S', 2},
      {156, 6, 2}, {158, 'S', 2}, {160, 'C', 2}, {162, 'R', 2}, {164, 'I', 2}, {166, 'P', 2}, {168, 'T', 2},
  };
  for (const W& w : writes) (w.width == 2 ? PutU16 : PutU32)(&t[w.at], w.v);
  memcpy(&t[172], "abc", 3);
  memcpy(&t[192], "VERS", 4);
  std::vector<uint8_t> image = MakePe({}, true, &t);
  std::vector<Resource> got = ReadBack(image);
  ASSERT_EQ(2u, got.size());
  EXPECT_EQ("FILES/SCRIPT/1033 (3 bytes)", Show(got[0]));
  EXPECT_EQ("abc", std::string(got[0].data.begin(), got[0].data.end()));
  EXPECT_EQ(1252u, got[0].codePage);
  EXPECT_EQ("#16/#1/0 (4 bytes)", Show(got[1]));
  EXPECT_EQ("VERS", std::string(got[1].data.begin(), got[1].data.end()));
}

TEST(ResourceTree, WritesAndReadsBackWithRsrcLastOrNot) {
  for (bool last : {true, false}) {
    SCOPED_TRACE(last ? ".rsrc last" : ".rsrc not last");
    std::vector<Resource> stub = StubResources();
    std::vector<uint8_t> image = MakePe(stub, last);
    std::vector<Resource> list = ReadBack(image);
    ExpectSameResources(stub, list);
    std::vector<Resource> want = stub;
    for (const char* name : {"SCRIPT", "LICENCE", "FILELIST", "DATA", "UNINSTALL", "CHECKSUM"}) {
      Resource r = Files(name, std::string("contents of ") + name);
      SetResource(&list, r);
      want.push_back(r);
    }
    std::vector<uint8_t> out;
    std::string error;
    ASSERT_TRUE(WriteResources(image, list, 0, &out, &error)) << error;
    ExpectSameResources(want, ReadBack(out));
    ExpectHeadersConsistent(out);
    PeImage before, after;
    ASSERT_TRUE(ParsePe(image.data(), image.size(), &before, &error));
    ASSERT_TRUE(ParsePe(out.data(), out.size(), &after, &error));
    EXPECT_EQ(before.sections.size() + (last ? 0 : 1), after.sections.size());
    // The code and (when not last) the sections after the old resources are untouched.
    EXPECT_TRUE(std::equal(image.begin() + 0x400, image.begin() + 0x600, out.begin() + 0x400));
    if (!last) {
      const PeSection& reloc = before.sections[2];
      EXPECT_EQ(0xAB, out[reloc.rawOffset]);
      EXPECT_EQ(std::string(".rsrc"), after.sections.back().name);
      EXPECT_EQ(PeAlignUp(reloc.va + reloc.virtualSize, kSectionAlign), after.sections.back().va);
    }
    EXPECT_EQ(0u, GetU32(&out[after.TimeStampOffset()]));
  }
}

TEST(ResourceTree, ReplacedByLargerAndSmaller) {
  struct Case { size_t first, second; } cases[] = {{10, 100000}, {100000, 10}, {5000, 0}, {0, 0}, {0, 300000}};
  for (bool last : {true, false})
    for (const Case& c : cases) {
      SCOPED_TRACE(std::to_string(c.first) + " then " + std::to_string(c.second) + (last ? ", last" : ", not last"));
      std::vector<uint8_t> image = MakePe(StubResources(), last), once, twice;
      std::string error;
      std::vector<Resource> list = ReadBack(image);
      SetResource(&list, Files("DATA", std::string(c.first, 'x')));
      SetResource(&list, Files("SCRIPT", "script"));
      ASSERT_TRUE(WriteResources(image, list, 7, &once, &error)) << error;
      list = ReadBack(once);
      SetResource(&list, Files("DATA", std::string(c.second, 'y')));
      ASSERT_TRUE(WriteResources(once, list, 7, &twice, &error)) << error;
      std::vector<Resource> want = StubResources();
      want.push_back(Files("SCRIPT", "script"));
      want.push_back(Files("DATA", std::string(c.second, 'y')));
      ExpectSameResources(want, ReadBack(twice));
      ExpectHeadersConsistent(twice);
      PeImage a, b;
      ASSERT_TRUE(ParsePe(once.data(), once.size(), &a, &error));
      ASSERT_TRUE(ParsePe(twice.data(), twice.size(), &b, &error));
      // The second write finds the resources last and replaces them in place.
      EXPECT_EQ(a.sections.size(), b.sections.size());
      EXPECT_EQ(7u, GetU32(&twice[b.TimeStampOffset()]));
      if (c.second < c.first) {
        EXPECT_LT(twice.size(), once.size());
      }
    }
}

TEST(ResourceTree, SixtyFourBitImages) {
  for (bool last : {true, false}) {
    SCOPED_TRACE(last ? ".rsrc last" : ".rsrc not last");
    std::vector<uint8_t> image = MakePe(StubResources(), last, nullptr, true), out;
    PeImage pe;
    std::string error;
    ASSERT_TRUE(ParsePe(image.data(), image.size(), &pe, &error)) << error;
    EXPECT_TRUE(pe.pe32plus);
    std::vector<Resource> list = ReadBack(image), want = StubResources();
    ExpectSameResources(want, list);
    SetResource(&list, Files("SCRIPT", "script"));
    want.push_back(Files("SCRIPT", "script"));
    ASSERT_TRUE(WriteResources(image, list, 0, &out, &error)) << error;
    ExpectSameResources(want, ReadBack(out));
    ExpectHeadersConsistent(out);
  }
}

TEST(ResourceTree, DirectoriesSortedNamesBeforeNumbers) {
  std::vector<Resource> list = {Res(ResourceId::Number(5), ResourceId::Number(107), 0, "d107"),
                                Files("UNINSTALL", "u"), Res(ResourceId::Number(5), ResourceId::Number(103), 0, "d103"),
                                Files("CHECKSUM", "c"), Res(ResourceId::Name("ZZ"), ResourceId::Number(1), 0, "zz"),
                                Files("DATA", "d")};
  std::vector<uint8_t> s;
  std::string error;
  ASSERT_TRUE(LayoutResources(list, 0x3000, &s, &error)) << error;
  // Root: two named types ("FILES" < "ZZ") and one numbered.
  EXPECT_EQ(2u, GetU16(&s[12]));
  EXPECT_EQ(1u, GetU16(&s[14]));
  std::vector<uint8_t> image = MakePe({}, true, nullptr);
  std::vector<uint8_t> out;
  ASSERT_TRUE(WriteResources(image, list, 0, &out, &error)) << error;
  std::vector<Resource> got = ReadBack(out);
  std::vector<std::string> order;
  for (const Resource& r : got) order.push_back(r.type.Text() + "/" + r.name.Text());
  std::vector<std::string> want = {"FILES/CHECKSUM", "FILES/DATA", "FILES/UNINSTALL", "ZZ/#1", "#5/#103", "#5/#107"};
  EXPECT_EQ(want, order);
}

TEST(ResourceTree, SameInputsSameBytes) {
  std::vector<uint8_t> image = MakePe(StubResources(), false), a, b;
  std::vector<Resource> list = ReadBack(image);
  SetResource(&list, Files("DATA", std::string(777, 'q')));
  std::string error;
  ASSERT_TRUE(WriteResources(image, list, 0, &a, &error));
  std::reverse(list.begin(), list.end());
  ASSERT_TRUE(WriteResources(image, list, 0, &b, &error));
  EXPECT_TRUE(a == b);
}

TEST(PeChecksum, KnownValues) {
  struct Case { std::vector<uint8_t> bytes; size_t at; uint32_t want; } cases[] = {
      {{0x01, 0x02, 0x03}, 100, 0x0201 + 0x0003 + 3},
      {{0xFF, 0xFF, 0x02, 0x00}, 100, 0x0002 + 4},  // 0xFFFF + 2 folds to 2
      {{0x10, 0x00, 0xAA, 0xBB, 0xCC, 0xDD, 0x01, 0x00}, 2, 0x0011 + 8},  // the field counts as 0
      {{}, 0, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.want, PeChecksum(c.bytes.data(), c.bytes.size(), c.at));
    EXPECT_EQ(c.want, SlowChecksum(c.bytes, c.at));
  }
  std::vector<uint8_t> big(1 << 20);
  for (size_t i = 0; i < big.size(); i++) big[i] = (uint8_t)(i * 2654435761u >> 13);
  EXPECT_EQ(SlowChecksum(big, 0x118), PeChecksum(big.data(), big.size(), 0x118));
}

TEST(ResourceTree, CutShortOrGarbageRefused) {
  std::vector<uint8_t> image = MakePe(StubResources(), true);
  std::vector<Resource> list = {Files("DATA", "d")};
  size_t refusedWrite = 0, tried = 0;
  for (size_t n = 0; n < image.size(); n += 7) {
    std::vector<uint8_t> cut(image.begin(), image.begin() + n), out;
    std::string error;
    tried++;
    if (!WriteResources(cut, list, 0, &out, &error)) {
      refusedWrite++;
      EXPECT_FALSE(error.empty());
    }
    PeImage pe;
    std::vector<Resource> got;
    if (ParsePe(cut.data(), cut.size(), &pe, &error)) ReadResources(cut.data(), cut.size(), pe, &got, &error);
  }
  EXPECT_EQ(tried, refusedWrite) << "every cut-short image is refused";

  // A directory entry that points outside the section, a tree that loops back on itself.
  struct Damage { size_t at; uint32_t value; const char* why; } damages[] = {
      {20, 0x80000000u | 0x7FFFFF00u, "type directory outside"},
      {20, 0x80000000u, "loop to the root"},
      {20, 16, "data where a directory belongs"},
  };
  for (const Damage& d : damages) {
    std::vector<uint8_t> bad = image;
    PutU32(&bad[0x600 + d.at], d.value);
    PeImage pe;
    std::string error;
    std::vector<Resource> got;
    ASSERT_TRUE(ParsePe(bad.data(), bad.size(), &pe, &error));
    EXPECT_FALSE(ReadResources(bad.data(), bad.size(), pe, &got, &error)) << d.why;
    EXPECT_NE(std::string::npos, error.find("damaged resource directory")) << d.why << ": got " << error;
  }

  uint32_t seed = 1;
  for (int i = 0; i < 200; i++) {
    std::vector<uint8_t> g = image, out;
    for (int k = 0; k < 8; k++) {
      seed = seed * 1103515245u + 12345u;
      g[0x600 + (seed >> 8) % 0x100] = (uint8_t)(seed >> 3);
    }
    PeImage pe;
    std::string error;
    std::vector<Resource> got;
    if (ParsePe(g.data(), g.size(), &pe, &error)) ReadResources(g.data(), g.size(), pe, &got, &error);
  }
  std::string error;
  std::vector<uint8_t> out;
  EXPECT_FALSE(WriteResources(Bytes("MZ but nothing else"), list, 0, &out, &error));
  EXPECT_FALSE(WriteResources(Bytes(std::string(4096, 'G')), list, 0, &out, &error));
}

TEST(ResourceTree, RefusesSignedOrTrailingData) {
  std::vector<uint8_t> image = MakePe(StubResources(), true), out;
  std::string error;
  std::vector<uint8_t> trailing = image;
  trailing.push_back(1);
  EXPECT_FALSE(WriteResources(trailing, {}, 0, &out, &error));
  EXPECT_NE(std::string::npos, error.find("after its last section")) << error;
  std::vector<uint8_t> signedImage = image;
  PeImage pe;
  ASSERT_TRUE(ParsePe(image.data(), image.size(), &pe, &error));
  PutU32(&signedImage[pe.DirectoryOffset(4)], 0x1000);
  EXPECT_FALSE(WriteResources(signedImage, {}, 0, &out, &error));
  EXPECT_NE(std::string::npos, error.find("signed")) << error;
}

}  // namespace

namespace {

TEST(ResourceTree, SharedOrOverlappingDirectoriesRefused) {
  std::vector<uint8_t> image = MakePe(StubResources(), true);
  const size_t rsrc = 0x600;
  // Root entries at 16 + 8 * i (five types); each type's first entry leads to its first
  // language directory, whose first entry points to a data entry.
  auto target = [&](uint32_t directory) { return GetU32(&image[rsrc + directory + 20]) & 0x7FFFFFFFu; };
  uint32_t firstType = target(0);
  uint32_t secondLanguages = target(GetU32(&image[rsrc + 28]) & 0x7FFFFFFFu);
  uint32_t firstData = target(target(firstType));
  struct Case { size_t at; uint32_t value; const char* want; } cases[] = {
      {28, 0x80000000u | firstType, "directory reached twice"},
      {20, 0x80000000u, "directory reached twice"},
      {secondLanguages + 20, firstData, "data entry reached twice"},
      {secondLanguages + 20, firstData + 8, "data entry overlapping another"},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> bad = image;
    PutU32(&bad[rsrc + c.at], c.value);
    PeImage pe;
    std::string error;
    std::vector<Resource> got;
    ASSERT_TRUE(ParsePe(bad.data(), bad.size(), &pe, &error));
    EXPECT_FALSE(ReadResources(bad.data(), bad.size(), pe, &got, &error)) << c.want;
    EXPECT_NE(std::string::npos, error.find(c.want)) << "expected " << c.want << ", got " << error;
  }
}

TEST(ResourceTree, WriterRefusesLayoutsWindowsDoesNotLoad) {
  std::vector<uint8_t> image = MakePe(StubResources(), false);
  PeImage pe;
  std::string error;
  ASSERT_TRUE(ParsePe(image.data(), image.size(), &pe, &error));
  size_t fileAlign = pe.optOffset + 36, sectionAlign = pe.optOffset + 32, headers = pe.optOffset + 60;
  size_t textRaw = pe.sectionTable + 20;
  struct Case { size_t at; uint32_t value; const char* want; } cases[] = {
      {fileAlign, 256, "file alignment 256"},
      {fileAlign, 1u << 30, "file alignment 1073741824"},
      {fileAlign, 0x20000, "file alignment 131072"},
      {sectionAlign, 0x100, "section alignment 256"},
      {textRaw, 0, "overlap the headers"},
      {textRaw, 0x200, "overlap the headers"},
      {headers, 0x100, "do not fit their SizeOfHeaders"},
      {headers, 0x100000, "do not fit their SizeOfHeaders"},
      {sectionAlign, 0x10000, "overlaps the headers or the section before it in memory"},
      {pe.sectionTable + 40 + 12, 0x1100, "overlaps the headers or the section before it in memory"},
      {pe.sectionTable + 40 + 20, 0x400, "share bytes of the file"},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> bad = image, out;
    PutU32(&bad[c.at], c.value);
    EXPECT_FALSE(WriteResources(bad, {Files("DATA", "d")}, 0, &out, &error)) << c.want;
    EXPECT_NE(std::string::npos, error.find(c.want)) << "expected " << c.want << ", got " << error;
  }
  // The image's sections lie 4 KB apart in memory: file alignments up to that are taken.
  for (uint32_t align : {512u, 1024u, 4096u}) {
    std::vector<uint8_t> ok = image, out;
    PutU32(&ok[fileAlign], align);
    EXPECT_TRUE(WriteResources(ok, {Files("DATA", "d")}, 0, &out, &error)) << align << ": " << error;
  }
}

}  // namespace
