#include <gtest/gtest.h>

#include <string.h>

#include <set>
#include <string>
#include <vector>

#include "install/logic/carry_over.h"
#include "install/logic/dir_list.h"
#include "install/logic/removal_order.h"

namespace {

std::string Join(const std::vector<std::string>& v) {
  std::string s;
  for (size_t i = 0; i < v.size(); i++) s += (i ? " | " : "") + v[i];
  return s;
}

std::vector<std::string> Entries(const DirList& list) {
  std::vector<std::string> out;
  DirList::Cursor it;
  for (const char* p = list.First(it); p; p = list.Next(it)) out.push_back(p);
  return out;
}

// The directories that "exist" for the collection tests.
std::set<std::string>* existing;
bool IsDirectory(const char* path) { return existing->count(path) != 0; }

std::vector<std::string> Collect(const std::string& file, const std::set<std::string>& dirs) {
  std::set<std::string> copy = dirs;
  existing = &copy;
  std::vector<char> text(file.begin(), file.end());
  text.push_back(0);
  unsigned bound = CountLinesBound(text.data());
  std::vector<const char*> out(bound);
  unsigned n = CollectCarriedDirectories(text.data(), IsDirectory, out.data(), bound);
  return std::vector<std::string>(out.begin(), out.begin() + n);
}

TEST(CollectCarriedDirectories, Cases) {
  const std::string head = "Kestrel Lane Software\r\nLumivane\r\n1.0.2\r\n";
  const std::set<std::string> dirs = {"C:\\P\\Orv\\Lumivane", "C:\\P\\Orv", "C:\\Prog\\Lumivane", "C:\\P\\Orv\\Lumivane\\docs",
                                      ".", "", "HKLM"};
  const struct {
    const char* name;
    std::string file;
    std::vector<std::string> expected;
  } cases[] = {
      {"the worked example",
       head + "C:\\P\\Orv\\Lumivane\\Uninst.orv\r\nC:\\P\\Orv\\Lumivane\\Lumivane.exe\r\nC:\\Prog\\Lumivane\\doc.lnk\r\n"
              "C:\\Prog\\Lumivane\r\nC:\\P\\Orv\\Lumivane\\docs\r\nC:\\P\\Orv\\Lumivane\r\nC:\\P\\Orv\r\n.\r\nHKLM\r\n"
              "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Lumivane\r\n.\r\n.\r\n",
       {"C:\\Prog\\Lumivane", "C:\\P\\Orv\\Lumivane\\docs", "C:\\P\\Orv\\Lumivane", "C:\\P\\Orv"}},
      {"directories no longer there are passed over", head + "C:\\Gone\r\nC:\\P\\Orv\r\n.\r\n", {"C:\\P\\Orv"}},
      {"a failed installation's file ends without its \".\"", head + "C:\\P\\Orv\\Lumivane\r\nC:\\P\\Orv\r\n",
       {"C:\\P\\Orv\\Lumivane", "C:\\P\\Orv"}},
      {"a last line without CR LF", head + "C:\\P\\Orv", {"C:\\P\\Orv"}},
      {"a CR as the last byte", head + "C:\\P\\Orv\r", {"C:\\P\\Orv"}},
      {"\". \" and empty lines are ordinary lines", head + ". \r\n\r\nC:\\P\\Orv\r\n.\r\nC:\\Prog\\Lumivane\r\n",
       {"", "C:\\P\\Orv"}},
      {"the header lines are never taken", "C:\\P\\Orv\r\nC:\\P\\Orv\r\nC:\\P\\Orv\r\n", {}},
      {"a script shorter than its header", "C:\\P\\Orv\r\nC:\\P\\Orv\r\n", {}},
      {"empty text", "", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(Join(c.expected), Join(Collect(c.file, dirs))) << c.name;
}

TEST(CollectCarriedDirectories, CapacityBoundsTheOutput) {
  existing = nullptr;
  std::set<std::string> dirs = {"A", "B", "C"};
  existing = &dirs;
  char text[] = "h1\r\nh2\r\nh3\r\nA\r\nB\r\nC\r\n";
  const char* out[2] = {nullptr, nullptr};
  EXPECT_EQ(2u, CollectCarriedDirectories(text, IsDirectory, out, 2));
  EXPECT_STREQ("A", out[0]);
  EXPECT_STREQ("B", out[1]);
}

TEST(PathIsInside, Cases) {
  const struct {
    const char* path;
    const char* dir;
    bool inside;
  } cases[] = {
      {"C:\\A\\B", "C:\\A", true},
      {"C:\\A\\B\\C", "C:\\A", true},
      {"c:\\a\\b", "C:\\A", true},
      {"C:\\A\\B", "C:\\A\\", true},
      {"C:\\AB", "C:\\A", false},
      {"C:\\A", "C:\\A", false},
      {"C:\\A\\", "C:\\A", false},
      {"C:\\A", "C:\\A\\B", false},
      {"D:\\A\\B", "C:\\A", false},
      {"C:\\A\\B", "", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.inside, PathIsInside(c.path, c.dir)) << c.path << " in " << c.dir;
}

// Every directory must stand after everything inside it.
void ExpectRemovalOrder(const std::vector<std::string>& list, const char* name) {
  for (size_t i = 0; i < list.size(); i++)
    for (size_t j = i + 1; j < list.size(); j++)
      EXPECT_FALSE(PathIsInside(list[j].c_str(), list[i].c_str()))
          << name << ": " << list[j] << " stands after " << list[i] << ", which holds it, in " << Join(list);
}

TEST(OrderForRemoval, Cases) {
  const struct {
    const char* name;
    std::vector<std::string> in, out;
  } cases[] = {
      {"already ordered stays", {"C:\\A\\B\\C", "C:\\A\\B", "C:\\X", "C:\\A"}, {"C:\\A\\B\\C", "C:\\A\\B", "C:\\X", "C:\\A"}},
      {"unrelated keep their order", {"C:\\X", "D:\\Y", "C:\\Z"}, {"C:\\X", "D:\\Y", "C:\\Z"}},
      {"an inner directory after its holder moves before it", {"C:\\A", "C:\\X", "C:\\A\\B"}, {"C:\\A\\B", "C:\\A", "C:\\X"}},
      {"outermost first is reversed", {"C:\\A", "C:\\A\\B", "C:\\A\\B\\C"}, {"C:\\A\\B\\C", "C:\\A\\B", "C:\\A"}},
      {"duplicates stay", {"C:\\A", "C:\\A", "C:\\A\\B"}, {"C:\\A\\B", "C:\\A", "C:\\A"}},
      {"empty", {}, {}},
  };
  for (const auto& c : cases) {
    std::vector<const char*> in, out(c.in.size());
    for (const std::string& s : c.in) in.push_back(s.c_str());
    OrderForRemoval(in.data(), (unsigned)in.size(), out.data());
    std::vector<std::string> got(out.begin(), out.end());
    EXPECT_EQ(Join(c.out), Join(got)) << c.name;
    ExpectRemovalOrder(got, c.name);
  }
}

TEST(AddCarriedDirectories, Cases) {
  const struct {
    const char* name;
    std::vector<std::string> recordedBefore;  // list order, front first
    std::vector<std::string> carried;         // file order
    std::vector<std::string> expected;
  } cases[] = {
      {"reinstall: carried in their old order in front",
       {},
       {"C:\\Prog\\Lumivane", "C:\\P\\Orv\\Lumivane", "C:\\P\\Orv"},
       {"C:\\Prog\\Lumivane", "C:\\P\\Orv\\Lumivane", "C:\\P\\Orv"}},
      {"nothing carried leaves the list",
       {"C:\\P\\New\\A", "C:\\P\\New"},
       {},
       {"C:\\P\\New\\A", "C:\\P\\New"}},
      {"levels of a failed first attempt elsewhere stay behind the carried ones",
       {"D:\\Try\\A", "D:\\Try"},
       {"C:\\P\\Orv\\Lumivane", "C:\\P\\Orv"},
       {"C:\\P\\Orv\\Lumivane", "C:\\P\\Orv", "D:\\Try\\A", "D:\\Try"}},
      {"a level created inside a carried directory stays in front of it",
       {"C:\\P\\Orv\\Lumivane\\New\\Deep", "C:\\P\\Orv\\Lumivane\\New"},
       {"C:\\P\\Orv\\Lumivane", "C:\\P\\Orv"},
       {"C:\\P\\Orv\\Lumivane\\New\\Deep", "C:\\P\\Orv\\Lumivane\\New", "C:\\P\\Orv\\Lumivane", "C:\\P\\Orv"}},
      {"mixed: only the inner ones move",
       {"D:\\Try", "C:\\P\\Orv\\X"},
       {"C:\\Prog\\F", "C:\\P\\Orv"},
       {"C:\\Prog\\F", "C:\\P\\Orv\\X", "C:\\P\\Orv", "D:\\Try"}},
  };
  for (const auto& c : cases) {
    DirList list;
    for (size_t i = c.recordedBefore.size(); i-- > 0;) ASSERT_TRUE(list.Prepend(c.recordedBefore[i].c_str()));
    std::vector<std::string> carriedCopy = c.carried;
    std::vector<const char*> carried;
    for (const std::string& s : carriedCopy) carried.push_back(s.c_str());
    AddCarriedDirectories(list, carried.data(), (unsigned)carried.size());
    std::vector<std::string> got = Entries(list);
    EXPECT_EQ(Join(c.expected), Join(got)) << c.name;
    EXPECT_EQ(got.size(), list.count()) << c.name;
    ExpectRemovalOrder(got, c.name);
  }
}

TEST(CarryOver, HeapRequestsThatDoNotFitAreRefused) {
  const struct {
    uint32_t fileSize;
    bool fits;
    uint32_t bytes;
  } texts[] = {{1, true, 2}, {1000, true, 1001}, {0xFFFFFFFEu, true, 0xFFFFFFFFu}, {0xFFFFFFFFu, false, 0}};
  for (const auto& c : texts) {
    uint32_t bytes = 12345;
    EXPECT_EQ(c.fits, CarriedTextBytes(c.fileSize, &bytes)) << "file size " << c.fileSize;
    if (c.fits) {
      EXPECT_EQ(c.bytes, bytes) << "file size " << c.fileSize;
    }
  }
  const struct {
    uint32_t lines;
    uint32_t pointer;
    bool fits;
    uint32_t bytes;
  } lists[] = {
      {1, 4, true, 4},
      {1000, 4, true, 4000},
      {0x3FFFFFFFu, 4, true, 0xFFFFFFFCu},
      {0x40000000u, 4, false, 0},  // 4 GB: wraps to 0 in 32 bits
      {0x40000001u, 4, false, 0},  // wraps to 4
      {0x20000000u, 8, false, 0},
      {0xFFFFFFFFu, 1, true, 0xFFFFFFFFu},
      {0xFFFFFFFFu, 2, false, 0},
  };
  for (const auto& c : lists) {
    uint32_t bytes = 12345;
    EXPECT_EQ(c.fits, CarriedListBytes(c.lines, c.pointer, &bytes)) << c.lines << " lines of " << c.pointer;
    if (c.fits) {
      EXPECT_EQ(c.bytes, bytes) << c.lines << " lines of " << c.pointer;
    }
  }
}

}  // namespace

namespace {

const char kDir[] = "C:\\Program Files\\Orv\\Lumivane\\";
const char kPrograms[] = "C:\\users\\u\\Start Menu\\Programs";

TEST(MayCarryOver, WhatAnEarlierInstallationHereCanHaveRecorded) {
  struct Case {
    const char* line;
    bool carried;
  } cases[] = {
      {"C:\\Program Files\\Orv\\Lumivane", true},
      {"c:\\program files\\orv\\LUMIVANE", true},
      {"C:\\Program Files\\Orv\\Lumivane\\docs", true},
      {"C:\\Program Files\\Orv\\Lumivane\\docs\\img", true},
      {"C:\\Program Files\\Orv", true},
      {"C:\\Program Files", true},
      {"C:\\users\\u\\Start Menu\\Programs\\Lumivane", true},
      {"C:\\users\\u\\Start Menu\\Programs", false},
      {"C:\\Windows\\x", false},
      {"C:\\Program Files\\Orv\\Lumivane2", false},
      {"C:\\Program Files\\Orv\\Lumi", false},
      {"C:\\Program Files\\Other", false},
      {"C:\\Program Files\\Orv\\Lumivane\\..\\..\\..\\Windows\\x", false},
      {"C:\\Program Files\\Orv\\Lumivane\\. .", false},
      {"C:\\Program Files\\Orv\\Lumivane\\.", false},
      {"C:\\Program Files\\Orv\\Lumivane/../../x", false},
      {"C:\\Program Files\\Orv\\Lumivane\\\\x", false},
      {"C:\\users\\u\\Start Menu\\Programs\\..\\..\\x", false},
      {"C:\\", false},
      {"C:", false},
      {"", false},
      {"D:\\Program Files\\Orv\\Lumivane", false},
  };
  for (const auto& c : cases) EXPECT_EQ(c.carried, MayCarryOver(c.line, kDir, kPrograms)) << c.line;
  EXPECT_FALSE(MayCarryOver("C:\\users\\u\\Start Menu\\Programs\\Lumivane", kDir, nullptr));
  EXPECT_FALSE(MayCarryOver("C:\\users\\u\\Start Menu\\Programs\\Lumivane", kDir, ""));
}

TEST(MayCarryOver, KeepsTheCarriableInOrder) {
  const char* dirs[] = {"C:\\Windows\\x", "C:\\Program Files\\Orv\\Lumivane\\docs", "C:\\Windows",
                        "C:\\users\\u\\Start Menu\\Programs\\Lumivane", "C:\\Program Files\\Orv"};
  unsigned n = KeepCarriable(dirs, 5, kDir, kPrograms);
  ASSERT_EQ(3u, n);
  EXPECT_STREQ("C:\\Program Files\\Orv\\Lumivane\\docs", dirs[0]);
  EXPECT_STREQ("C:\\users\\u\\Start Menu\\Programs\\Lumivane", dirs[1]);
  EXPECT_STREQ("C:\\Program Files\\Orv", dirs[2]);
}

}  // namespace
