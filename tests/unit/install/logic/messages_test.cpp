#include <gtest/gtest.h>

#include <string>

#include "install/logic/messages.h"

namespace {

const std::string kHeader = "Sorry, you do not seem to have these required files:\n\n";
const std::string kSite = "\nYou may be able to get these files from the Orv download site at ";
const std::string kClosing = "\n\nPress Cancel to abort the installation or OK to continue";

TEST(BuildSetupName, Cases) {
  const std::string name56(60, 'N');
  const struct {
    std::string name, version, expected;
  } cases[] = {
      {"Lumivane", "1.0.2", "Lumivane 1.0.2 setup"},
      {"", "", "  setup"},
      // 48 characters of name and version together fit exactly.
      {std::string(40, 'a'), std::string(8, 'v'), std::string(40, 'a') + " " + std::string(8, 'v') + " setup"},
      // The version is cut first...
      {std::string(40, 'a'), std::string(20, 'v'), std::string(40, 'a') + " " + std::string(8, 'v') + " setup"},
      // ...then the name.
      {name56, "1.0", std::string(48, 'N') + "  setup"},
  };
  for (const auto& c : cases) {
    SetupNameText out;
    BuildSetupName(c.name.c_str(), c.version.c_str(), out);
    EXPECT_EQ(c.expected, std::string(out.c_str())) << "name " << c.name << " version " << c.version;
    EXPECT_LE(out.length(), 55u);
  }
}

TEST(BuildWindowTitle, Cases) {
  TitleText out;
  BuildWindowTitle("Kestrel Lane Software", "Lumivane 1.0.2 setup", out);
  EXPECT_STREQ("Kestrel Lane Software - Lumivane 1.0.2 setup", out.c_str());

  const std::string company(300, 'c');
  BuildWindowTitle(company.c_str(), "Lumivane 1.0.2 setup", out);
  std::string expected = std::string(259 - 3 - 20, 'c') + " - Lumivane 1.0.2 setup";
  EXPECT_EQ(expected, std::string(out.c_str()));
  EXPECT_EQ(259u, out.length());

  const std::string fits(236, 'c');
  BuildWindowTitle(fits.c_str(), "Lumivane 1.0.2 setup", out);
  EXPECT_EQ(fits + " - Lumivane 1.0.2 setup", std::string(out.c_str()));
}

TEST(BuildConfirmText, Cases) {
  QuestionText out;
  BuildConfirmText("Lumivane", "1.0.2", out);
  EXPECT_STREQ("Are you sure you want to install Lumivane 1.0.2?", out.c_str());
  const std::string longName(400, 'n');
  BuildConfirmText(longName.c_str(), "1.0.2", out);
  EXPECT_EQ(259u, out.length());
  EXPECT_EQ('?', out.last());
  EXPECT_EQ("Are you sure you want to install " + std::string(259 - 33 - 2, 'n') + " ?", std::string(out.c_str()));
}

TEST(RequiredFilesMessage, NothingMissing) {
  RequiredFilesMessage m("http://x/");
  EXPECT_FALSE(m.AnyMissing());
}

TEST(RequiredFilesMessage, ThreeMissingInOrder) {
  RequiredFilesMessage m("http://www.kestrellane.co.uk/download/");
  m.AddMissing("C:\\windows\\", "a.dll");
  m.AddMissing("C:\\windows\\", "b.dll");
  m.AddMissing("C:\\windows\\", "sub\\c.dll");
  EXPECT_TRUE(m.AnyMissing());
  EXPECT_EQ(3u, m.ListedCount());
  std::string expected = kHeader + "C:\\windows\\a.dll\nC:\\windows\\b.dll\nC:\\windows\\sub\\c.dll\n" + kSite +
                         "http://www.kestrellane.co.uk/download/" + kClosing;
  EXPECT_EQ(expected, std::string(m.Finish().c_str()));
}

// Names that do not fit are left out, from the first that does not fit on, and a line
// "..." takes their place; the message never exceeds 1039 characters.
TEST(RequiredFilesMessage, BoundWithCutMark) {
  const std::string site = "http://x/";
  const unsigned fixed = (unsigned)(kHeader.size() + kSite.size() + site.size() + kClosing.size());
  const unsigned room = 1039 - fixed;  // for the names and their line breaks
  struct Case {
    const char* name;
    std::vector<std::string> names;
    unsigned listed;
    bool cut;
  };
  const std::string p100(99, 'p');  // 100 bytes with its line break
  std::vector<std::string> exact;   // names filling the room exactly
  for (unsigned used = 0; used < room;) {
    unsigned take = room - used >= 200 ? 100 : room - used;
    exact.push_back(std::string(take - 1, 'e'));
    used += take;
  }
  std::vector<std::string> overBy1 = exact;
  overBy1.back() += "x";
  std::vector<std::string> many(20, p100);
  std::vector<std::string> shortAfterLong = {p100, std::string(2000, 'L'), "C:\\s"};
  const Case cases[] = {
      {"exactly full: all listed", exact, (unsigned)exact.size(), false},
      {"one byte over: last replaced by the mark", overBy1, (unsigned)exact.size() - 1, true},
      {"twenty long names", many, 0, true},
      {"a short name after one too long is left out too", shortAfterLong, 1, true},
  };
  for (const Case& c : cases) {
    RequiredFilesMessage m(site.c_str());
    for (const std::string& n : c.names) m.AddMissing("", n.c_str());
    std::string text = m.Finish().c_str();
    EXPECT_LE(text.size(), 1039u) << c.name;
    EXPECT_EQ(c.names.size(), m.MissingCount()) << c.name;
    if (c.listed) {
      EXPECT_EQ(c.listed, m.ListedCount()) << c.name;
    }
    std::string list;
    for (unsigned i = 0; i < m.ListedCount(); i++) list += c.names[i] + "\n";
    if (c.cut) list += "...\n";
    EXPECT_EQ(kHeader + list + kSite + site + kClosing, text) << c.name;
  }
}

TEST(RequiredFilesMessage, TwentyLongNamesListAsManyAsFit) {
  RequiredFilesMessage m("s");
  const std::string p(99, 'p');
  for (int i = 0; i < 20; i++) m.AddMissing(p.substr(0, 10).c_str(), p.substr(10).c_str());
  std::string text = m.Finish().c_str();
  // 1039 - 54 header - 66 site prefix - 1 site - 58 closing = 860: eight names of 100 and
  // the "...\n" line.
  EXPECT_EQ(8u, m.ListedCount());
  EXPECT_NE(std::string::npos, text.find(p + "\n...\n\nYou may"));
}

TEST(RequiredFilesMessage, LongSiteIsCutAndClosingStaysWhole) {
  const std::string site(3000, 's');
  RequiredFilesMessage m(site.c_str());
  m.AddMissing("C:\\windows\\", "a.dll");
  std::string text = m.Finish().c_str();
  EXPECT_EQ(1039u, text.size());
  EXPECT_EQ(kClosing, text.substr(text.size() - kClosing.size()));
  EXPECT_EQ(kHeader + "...\n" + kSite, text.substr(0, kHeader.size() + 4 + kSite.size()));
}

}  // namespace
