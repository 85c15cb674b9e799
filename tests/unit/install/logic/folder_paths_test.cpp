#include "install/logic/folder_paths.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(FolderPaths, BackslashTest) {
  const struct {
    const char* text;
    bool expected;
  } cases[] = {{"Lumivane", false}, {"", false}, {"Orv\\Lumivane", true}, {"\\", true}, {"end\\", true},
               {"a/b", false}};
  for (const auto& c : cases) EXPECT_EQ(c.expected, HasBackslash(c.text)) << "text \"" << c.text << "\"";
}

TEST(FolderPaths, NamesOfNoFolderOfTheirOwn) {
  const struct {
    const char* text;
    bool expected;
  } cases[] = {
      {"", true},           {".", true},          {"..", true},         {"...", true},       {" ", true},
      {"   ", true},        {"\t", true},         {". .", true},        {" .. ", true},      {"Lumivane", false},
      {".Lumivane", false}, {"Lumivane.", false}, {" a ", false},       {"..a", false},      {"Orv Tools", false},
  };
  for (const auto& c : cases) EXPECT_EQ(c.expected, IsEmptyFolderName(c.text)) << "name \"" << c.text << "\"";
}

TEST(FolderPaths, ReplaceTailKeepsThePrefix) {
  PathText path;
  ASSERT_TRUE(path.Set("C:\\Programs\\Lumivane\\"));
  unsigned prefix = path.length();
  ASSERT_TRUE(ReplaceTail(path, prefix, "Lumivane documentation", ".lnk"));
  EXPECT_STREQ("C:\\Programs\\Lumivane\\Lumivane documentation.lnk", path.c_str());
  ASSERT_TRUE(ReplaceTail(path, prefix, "Article", ".lnk"));
  EXPECT_STREQ("C:\\Programs\\Lumivane\\Article.lnk", path.c_str());
  ASSERT_TRUE(ReplaceTail(path, prefix, "x"));
  EXPECT_STREQ("C:\\Programs\\Lumivane\\x", path.c_str());
}

TEST(FolderPaths, ReplaceTailRefusesWhatDoesNotFit) {
  PathText path;
  ASSERT_TRUE(path.Set("C:\\P\\"));
  unsigned prefix = path.length();
  // 259 characters is the most a path holds.
  std::string fits(259 - prefix - 4, 'a');
  ASSERT_TRUE(ReplaceTail(path, prefix, fits.c_str(), ".lnk"));
  EXPECT_EQ(259u, path.length());
  std::string tooLong(259 - prefix - 3, 'b');
  EXPECT_FALSE(ReplaceTail(path, prefix, tooLong.c_str(), ".lnk"));
  EXPECT_STREQ("C:\\P\\", path.c_str()) << "a refused tail leaves the bare prefix";
  EXPECT_FALSE(ReplaceTail(path, prefix, std::string(300, 'c').c_str()));
  EXPECT_STREQ("C:\\P\\", path.c_str());
}

}  // namespace
