// The install script's checks: the example script passes cleanly, and each kind of item has
// one table of variants of it, each row with the diagnostic it must give.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tools/script_check/script_check.h"

namespace fs = std::filesystem;

namespace {

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The example script's lines, line ends not included.
std::vector<std::string> ExampleLines() {
  std::string text = ReadFile(fs::path(ORV_SOURCE_DIR) / "resources/example/SCRIPT");
  std::vector<std::string> lines;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find("\r\n", start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

PackEntry Entry(const std::string& name, bool hasVersion) {
  PackEntry e{name, 100, hasVersion, {1, 0, 0, 0}, 0x01D0000000000001ull};
  return e;
}

// The example payload's files, the program that the example build adds, and two driver
// files for the driver rows.
std::vector<PackEntry> ExamplePayload() {
  std::vector<PackEntry> payload;
  fs::path root = fs::path(ORV_SOURCE_DIR) / "resources/example/payload";
  for (const auto& item : fs::recursive_directory_iterator(root)) {
    if (!item.is_regular_file()) continue;
    std::string name = fs::relative(item.path(), root).generic_string();
    std::replace(name.begin(), name.end(), '/', '\\');
    payload.push_back(Entry(name, false));
  }
  std::sort(payload.begin(), payload.end(), [](const PackEntry& a, const PackEntry& b) { return a.name < b.name; });
  payload.push_back(Entry("Lumivane.exe", true));
  payload.push_back(Entry("drv\\orvdrv.sys", true));
  payload.push_back(Entry("drv\\plain.sys", false));
  return payload;
}

std::string Join(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

std::string Check(const std::string& text, std::string* normalised = nullptr) {
  Diagnostics diags;
  std::string out;
  CheckScript(text, ExamplePayload(), "SCRIPT", &out, &diags);
  if (normalised) *normalised = out;
  std::string all;
  for (const Diagnostic& d : diags.All()) all += Diagnostics::Format(d) + "\n";
  return all;
}

// One variant of the example script: line `line` (1-based) replaced by the lines of `with`
// (none: the line is deleted; line past the end: appended), then, when keep is not 0, only
// the first `keep` lines kept. expected is the one diagnostic it must give, whole or as its
// start; "" means none at all. When only is set, no other diagnostic may follow.
struct Row {
  int line;
  std::vector<std::string> with;
  std::string expected;
  int keep = 0;
  bool only = true;
};

void RunRows(const char* kind, const std::vector<Row>& rows) {
  for (const Row& row : rows) {
    std::vector<std::string> lines = ExampleLines();
    size_t at = static_cast<size_t>(row.line - 1);
    if (at < lines.size()) lines.erase(lines.begin() + at);
    lines.insert(lines.begin() + std::min(at, lines.size()), row.with.begin(), row.with.end());
    if (row.keep) lines.resize(row.keep);
    std::string got = Check(Join(lines));
    std::string variant = std::string(kind) + ", line " + std::to_string(row.line) + " as '" +
                          (row.with.empty() ? "" : row.with[0]) + "'" +
                          (row.keep ? " kept " + std::to_string(row.keep) + " lines" : "");
    if (row.expected.empty()) {
      EXPECT_EQ("", got) << variant;
      continue;
    }
    bool found = got.find(row.expected) == 0 || got.find("\n" + row.expected) != std::string::npos;
    EXPECT_TRUE(found) << variant << "\nexpected: " << row.expected << "\ngot:\n" << got;
    if (row.only) {
      EXPECT_EQ(1, std::count(got.begin(), got.end(), '\n')) << variant << "\ngot:\n" << got;
    }
  }
}

TEST(ScriptCheckExample, PassesCleanly) {
  std::string raw = ReadFile(fs::path(ORV_SOURCE_DIR) / "resources/example/SCRIPT");
  std::string normalised;
  EXPECT_EQ("", Check(raw, &normalised));
  EXPECT_EQ(raw, normalised);
}

// The same with the payload as the packer plans it from the example product's folder.
TEST(ScriptCheckExample, PassesWithThePackersPayload) {
  PackPlan plan;
  std::string error;
  ASSERT_TRUE(PlanPack((fs::path(ORV_SOURCE_DIR) / "resources/example/payload").string(), {}, &plan, &error))
      << error;
  plan.entries.push_back(Entry("Lumivane.exe", true));
  std::string raw = ReadFile(fs::path(ORV_SOURCE_DIR) / "resources/example/SCRIPT");
  Diagnostics diags;
  std::string normalised;
  CheckScript(raw, plan.entries, "SCRIPT", &normalised, &diags);
  EXPECT_EQ(0u, diags.All().size()) << (diags.All().empty() ? "" : Diagnostics::Format(diags.All()[0]));
  EXPECT_EQ(raw, normalised);
}

TEST(ScriptCheckExample, NormalisedForms) {
  std::string raw = ReadFile(fs::path(ORV_SOURCE_DIR) / "resources/example/SCRIPT");
  std::string lf;
  for (char c : raw)
    if (c != '\r') lf += c;
  std::string normalised;
  EXPECT_EQ("SCRIPT:1: warning: 17 lines end with LF alone; converted to CR LF (the installer reads only CR LF as a "
            "line end)\n",
            Check(lf, &normalised));
  EXPECT_EQ(raw, normalised);

  EXPECT_EQ("SCRIPT:1: warning: UTF-8 byte-order mark dropped (the installer reads Windows code page 1252)\n",
            Check("\xEF\xBB\xBF" + raw, &normalised));
  EXPECT_EQ(raw, normalised);

  // A company name in UTF-8 ships in 1252, and is checked as such.
  std::vector<std::string> lines = ExampleLines();
  lines[2] = "Kestrel Lane Software \xE2\x80\x93 G\xC3\xB6teborg\t\t; Company name";
  EXPECT_EQ("", Check(Join(lines), &normalised));
  lines[2] = "Kestrel Lane Software \x96 G\xF6teborg\t\t; Company name";
  EXPECT_EQ(Join(lines), normalised);
}

TEST(ScriptCheckWhole, EmptyAndLineEnds) {
  EXPECT_EQ("SCRIPT: error: the install script is empty\n", Check(""));
  EXPECT_EQ(
      "SCRIPT:1: warning: UTF-8 byte-order mark dropped (the installer reads Windows code page 1252)\n"
      "SCRIPT: error: the install script is empty\n",
      Check("\xEF\xBB\xBF"));
  // A CR alone splits the line as the installer does, and is an error.
  std::vector<std::string> lines = ExampleLines();
  lines[3] = "Lumi\rvane";
  std::string got = Check(Join(lines));
  EXPECT_EQ(0u, got.find("SCRIPT:4:5: error: a CR not followed by LF")) << got;
  // A character 1252 cannot hold names its line and column.
  lines = ExampleLines();
  lines[3] = "Lumiv\xC4\x81ne";
  got = Check(Join(lines));
  EXPECT_EQ(0u, got.find("SCRIPT:4:6: error: the character U+0101")) << got;
}

TEST(ScriptCheckValues, CommentsAndBlanks) {
  RunRows("values", {
      {4, {"Lumivane ; AppName"},
       "SCRIPT:4:9: warning: blanks before the comment stay in the value: 'Lumivane ' (only TABs before ';' are "
       "dropped)"},
      {4, {"Lumivane \t\t; AppName"}, "SCRIPT:4:9: warning: blanks before the comment stay in the value"},
      {3, {"Rock; Roll Software"},
       "SCRIPT:3:5: warning: the text from this ';' on is taken as a comment and dropped: the value read is 'Rock'"},
      {3, {"Rock;n;Roll\t\t; Company name"}, ""},
      {4, {"Lumivane\t"}, "SCRIPT:4:9: warning: blanks or TABs at the end of the line stay in the value: 'Lumivane\t'"},
      {4, {"Lumivane  "}, "SCRIPT:4:9: warning: blanks or TABs at the end of the line stay in the value"},
      {11, {"index.html,Lumivane documentation ; item"}, "SCRIPT:11:34: warning: blanks before the comment"},
      {13, {". \t\t; Indicates last item in folder"},
       "SCRIPT:13:1: error: '. ' does not end the list: a list ends at a line that is exactly '.'", 0, false},
  });
}

TEST(ScriptCheckItems, MissingItems) {
  RunRows("missing", {
      {2, {}, "SCRIPT:1: error: the script ends before item 2, the uninstaller's name and version (the installer "
              "would stop with internal error 105)", 1},
      {3, {}, "SCRIPT:2: error: the script ends before item 3, the company name (the installer would stop with "
              "internal error 106)", 2},
      {4, {}, "SCRIPT:3: error: the script ends before item 4, the application name", 3},
      {5, {}, "SCRIPT:4: error: the script ends before item 5, the version (the installer would stop with internal "
              "error 108)", 4},
      {6, {}, "SCRIPT:5: error: the script ends before item 6, the download site (the installer would stop with "
              "internal error 301)", 5},
      {7, {}, "SCRIPT:6: error: the script ends before the list of required files in the Windows directory (the "
              "installer would stop with internal error 301)", 6},
      {9, {}, "SCRIPT:8: error: the script ends before item 9, the suggested installation directory (the installer "
              "would stop with internal error 5)", 8},
      {10, {}, "SCRIPT:9: error: the script ends before item 10, the suggested folder name (the installer would "
               "stop with internal error 200)", 9},
      {11, {}, "SCRIPT:10: error: the script ends before the list of folder items", 10},
      {14, {}, "SCRIPT:13: error: the script ends before item 12, the registry-items line, which must be '.' (the "
               "installer would stop with internal error 69)", 13},
      {15, {}, "SCRIPT:14: error: the script ends before the list of drivers (the installer would stop with "
               "internal error 70)", 14},
      // The programs to run end with the script as well as with their ".".
      {16, {"index.html,&View,on"}, "", 16},
      {16, {}, "", 15},
  });
}

TEST(ScriptCheckItems, Platforms) {
  RunRows("platforms", {
      {1, {"95,98,NT,W2"}, ""},
      {1, {"NT"}, ""},
      {1, {"95,,NT,"}, ""},
      {1, {"95,98,nt"}, "SCRIPT:1:7: error: unknown platform code 'nt': the codes are 95, 98, NT and W2 (letter case "
                        "matters)"},
      {1, {"95, NT"}, "SCRIPT:1:4: error: unknown platform code ' NT': the codes are 95, 98, NT and W2 (a blank or TAB "
                      "is part of the code)"},
      {1, {"95,ME"}, "SCRIPT:1:4: error: unknown platform code 'ME': the codes are 95, 98, NT and W2"},
      {1, {"95,98,NT,W2,XP\t\t; Min supported platforms"}, "SCRIPT:1:13: error: unknown platform code 'XP'"},
      {1, {""}, "SCRIPT:1:1: error: no platform code: name at least one of 95, 98, NT and W2, separated by commas"},
      {1, {",,\t\t; platforms"}, "SCRIPT:1:1: error: no platform code"},
  });
}

TEST(ScriptCheckItems, UninstallName) {
  RunRows("uninstall name", {
      {2, {"UnstOrv.exe,1,0,0,3"}, ""},
      {2, {"UnstOrv.exe,1,0,0"},
       "SCRIPT:2: error: the uninstaller's version needs four numbers after the file name, found 3 (the installer "
       "would not write the uninstaller: internal error 4)"},
      {2, {"UnstOrv.exe"}, "SCRIPT:2: error: the uninstaller's version needs four numbers after the file name, found 0"},
      {2, {""}, "SCRIPT:2:1: error: no uninstaller file name"},
      {2, {"UnstOrv.exe,1,0,0,3,7"},
       "SCRIPT:2:21: warning: fields after the fourth version number are ignored: '7'"},
      {2, {"UnstOrv.exe,1,0,x,3"}, "SCRIPT:2:17: warning: version number 'x' is read as 0"},
      {2, {"UnstOrv.exe,1,0,2b,3"}, "SCRIPT:2:17: warning: version number '2b' is read as 2"},
      {2, {"UnstOrv.exe,1,0,-1,3"}, "SCRIPT:2:17: warning: version number '-1' is read as 4294967295"},
      {2, {"UnstOrv.exe,1,0,9999999999,3"}, "SCRIPT:2:17: warning: version number '9999999999' is read as 2147483647"},
      {2, {"UnstOrv.exe,1,0,70000,3"},
       "SCRIPT:2:17: warning: version number '70000' is above 65535, the most that a part of a file's version can be"},
      {2, {"UnstOrv.exe, 1,0,0,3"}, ""},
      {2, {"Orv\\UnstOrv.exe,1,0,0,3"},
       "SCRIPT:2:4: error: the uninstaller's file name 'Orv\\UnstOrv.exe' may not hold '\\': it is written into the "
       "Windows directory"},
      {2, {std::string(250, 'u') + ",1,0,0,3"},
       "SCRIPT:2:1: error: the uninstaller's file name is too long: with a Windows directory such as C:\\WINDOWS its "
       "path would pass 259 characters", 0, false},
      {2, {std::string(215, 'u') + ",1,0,0,3"},
       "SCRIPT:9: error: the uninstall command 'C:\\WINDOWS\\" + std::string(215, 'u') +
           " C:\\Program Files\\Orv\\Lumivane\\Uninst.orv' would be longer than the 259 characters the installer "
           "holds for it"},
  });
}

TEST(ScriptCheckItems, Names) {
  const std::string name45(45, 'N');
  const std::string name50(50, 'N');
  RunRows("names", {
      {3, {""}, "SCRIPT:3: warning: the company name is empty"},
      {4, {""}, "SCRIPT:4: error: the application name is empty: it names the window class and the Add/Remove "
                "Programs entry"},
      {4, {"Orv\\Lumivane"}, "SCRIPT:4:4: error: the application name may not hold '\\'"},
      {5, {""}, "SCRIPT:5: warning: the version is empty"},
      {4, {name45}, "SCRIPT:5: error: the application name and version are too long for the setup name, which holds 55 "
                    "characters: '" + name45 + " 1.0.2 setup' would be cut to '" + name45 + " 1.0 setup'"},
      {4, {name50}, "SCRIPT:4: error: the application name and version are too long for the setup name, which holds 55 "
                    "characters: '" + name50 + " 1.0.2 setup' would be cut to '" + std::string(48, 'N') +
                    "  setup'"},
      {4, {std::string(210, 'N')}, "SCRIPT:4: error: the application name is too long for the Add/Remove Programs "
                                   "entry's key", 0, false},
      {3, {std::string(240, 'C')},
       "SCRIPT:3: error: the company name is too long for the window title, which holds 259 characters: the company "
       "name would be cut to '" + std::string(236, 'C') + "'"},
  });
}

TEST(ScriptCheckItems, DownloadSite) {
  RunRows("download site", {
      {6, {""}, ""},
      {7, {"ctl3d32.dll", "."}, ""},
      // Too long for the message, which shows only when a dependency list names a file.
      {6, {"http://example.com/" + std::string(1000, 'x')}, ""},
      {6, {"http://example.com/" + std::string(1000, 'x'), "ctl3d32.dll"},
       "SCRIPT:6: error: the download site is too long for the message about missing required files: only its first "
       "857 characters would be shown"},
  });
  // The row above with an empty site: the site line and the dependency together.
  std::vector<std::string> lines = ExampleLines();
  lines[5] = "";
  lines.insert(lines.begin() + 6, "ctl3d32.dll");
  EXPECT_EQ("SCRIPT:6: warning: the download site is empty, but the message about missing required files quotes it\n",
            Check(Join(lines)));
}

TEST(ScriptCheckItems, Dependencies) {
  RunRows("dependencies", {
      {7, {"ctl3d32.dll", "msvcrt.dll", "."}, ""},
      {8, {"System32\\mfc42.dll", "."}, ""},
      {7, {"C:\\x.dll", "."}, "SCRIPT:7:1: error: a required file is named relative to the Windows directory: "
                              "'C:\\x.dll' would be looked for inside it"},
      {8, {"\\x.dll", "."}, "SCRIPT:8:1: error: a required file is named relative to the system directory"},
      {7, {"", "."}, "SCRIPT:7: warning: an empty line in the required files checks only that the Windows directory "
                     "exists"},
      {7, {". "}, "SCRIPT:7:1: error: '. ' does not end the list", 0, false},
      {7, {"a.dll"}, "SCRIPT:8: error: the script ends before the list of required files in the system directory "
                     "(the installer would stop with internal error 301)", 8},
      {8, {"a.dll"}, "SCRIPT:8: error: the list of required files in the system directory, begun on this line", 8},
      {7, {"a.dll"}, "SCRIPT:7: error: the list of required files in the Windows directory, begun on this line, is "
                     "not closed by a '.' line (the installer would stop with internal error 301)", 7},
  });
}

TEST(ScriptCheckItems, InstallDir) {
  RunRows("installation directory", {
      {9, {"Orv\\Lumivane"}, ""},
      {9, {"Lumivane"}, ""},
      {9, {""}, "SCRIPT:9: warning: the suggested installation directory is empty: the product would be installed "
                "straight into the Program Files directory"},
      {9, {"C:\\Orv\\"}, "SCRIPT:9:1: error: the suggested installation directory 'C:\\Orv\\' must be relative to the "
                         "Program Files directory, without a drive"},
      {9, {"\\Orv\\"}, "SCRIPT:9:1: error: the suggested installation directory '\\Orv\\' must be relative to the "
                       "Program Files directory: it may not start with '\\'"},
      {9, {"Orv\\..\\..\\WINDOWS\\"}, "SCRIPT:9:1: error: the suggested installation directory may not hold '..'"},
      {9, {"Orv*\\"}, "SCRIPT:9:4: error: the suggested installation directory may not hold '*'"},
      {9, {std::string(230, 'd') + "\\"},
       "SCRIPT:9: error: the installation directory 'C:\\Program Files\\" + std::string(230, 'd') +
           "\\' (248 characters under a Program Files directory of usual length) leaves no room for "
           "'docs\\tutorial.html' (18 characters): the installer's paths hold 259 characters"},
  });
}

TEST(ScriptCheckItems, FolderName) {
  RunRows("folder name", {
      {10, {"Lumivane Tools"}, ""},
      {10, {"Orv\\Lumivane"}, "SCRIPT:10:4: error: the suggested folder name 'Orv\\Lumivane' may not hold '\\': it is "
                              "one folder in the Start menu"},
      {10, {"A:B"}, "SCRIPT:10:2: error: the suggested folder name 'A:B' may not hold ':'"},
      {10, {""}, "SCRIPT:10: warning: the suggested folder name is empty: the user would have to type one"},
      {10, {"aux"}, "SCRIPT:10:1: error: the suggested folder name 'aux' is a name that Windows keeps for a device"},
      {10, {"Com1.old"}, "SCRIPT:10:1: error: the suggested folder name 'Com1.old' is a name that Windows keeps"},
      {10, {"COM10"}, ""},
      // 181 characters fit (the shortcuts in it then do not); 182 do not.
      {10, {std::string(181, 'f')}, "SCRIPT:11:12: error: the shortcut 'fff", 0, false},
      {10, {std::string(182, 'f')}, "SCRIPT:10: error: the suggested folder name is too long: under a Programs folder of "
                                    "usual length (C:\\Users\\Administrator\\AppData\\Roaming\\Microsoft\\Windows\\"
                                    "Start Menu\\Programs\\) the folder would pass the installer's 259-character "
                                    "paths", 0, false},
      {10, {"Console"}, ""},
  });
}

TEST(ScriptCheckItems, FolderNameLengthBoundary) {
  std::vector<std::string> lines = ExampleLines();
  lines[9] = std::string(181, 'f');
  std::string got = Check(Join(lines));
  EXPECT_EQ(std::string::npos, got.find("folder name is too long")) << got;
  lines[9] = std::string(182, 'f');
  got = Check(Join(lines));
  EXPECT_EQ(0u, got.find("SCRIPT:10: error: the suggested folder name is too long")) << got;
}

TEST(ScriptCheckItems, FolderItems) {
  RunRows("folder items", {
      {12, {"README.txt,Read me"}, ""},
      {12, {"docs,Documentation folder"}, ""},
      {12, {"Lumivane.exe,Lumivane, the program"}, ""},
      {12, {"readme.tx,Read me"}, "SCRIPT:12:1: error: shortcut target 'readme.tx' is not in the payload (did you mean "
                                  "'README.TXT'?)"},
      {12, {"faq.html,FAQ"}, "SCRIPT:12:1: error: shortcut target 'faq.html' is not in the payload (did you mean "
                             "'docs\\faq.html'?)"},
      {12, {"docs/faq.html,FAQ"}, "SCRIPT:12:1: error: shortcut target 'docs/faq.html' is not in the payload (did you "
                                  "mean 'docs\\faq.html'?)"},
      {12, {"setup.ini,Settings"}, "SCRIPT:12:1: error: shortcut target 'setup.ini' is not in the payload\n"},
      {12, {"cdroms.html"}, "SCRIPT:12:1: error: a folder item needs a comma between the file and the shortcut's "
                            "title: 'cdroms.html' (the installer would stop with internal error 25)"},
      {12, {",Article"}, "SCRIPT:12:1: warning: a folder item names no file before its comma: the shortcut would open "
                         "the installation directory"},
      {12, {"cdroms.html,CD/ROMs"}, "SCRIPT:12:15: error: the shortcut's title 'CD/ROMs' may not hold '/': it is the "
                                    "shortcut's file name (the installer would stop with internal error 26)"},
      {12, {"cdroms.html,NUL"}, "SCRIPT:12:13: error: the shortcut's title 'NUL' is a name that Windows keeps for a "
                                "device: the shortcut could not be made"},
      {12, {"cdroms.html,"}, "SCRIPT:12:13: warning: the shortcut's title is empty: the shortcut would be named '.lnk'"},
      {12, {"cdroms.html,lumivane DOCUMENTATION"},
       "SCRIPT:12:13: warning: a second shortcut titled 'lumivane DOCUMENTATION' replaces the one of line 11"},
      {12, {"cdroms.html," + std::string(180, 't')}, "SCRIPT:12:13: error: the shortcut 'Lumivane\\" +
                                                         std::string(180, 't') + ".lnk' would not fit"},
      {12, {"cdroms.html,CD-ROMs"}, "SCRIPT:11: error: the list of folder items, begun on this line, is not closed by "
                                    "a '.' line (the installer would stop with internal error 24)", 12},
  });
}

TEST(ScriptCheckItems, RegistryItems) {
  RunRows("registry items", {
      {14, {".\t\t\t; no registry items"}, ""},
      {14, {"HKLM,Software\\Kestrel"}, "SCRIPT:14:1: error: the registry-item list must be empty: this line must be "
                                       "exactly '.' (the installer would stop with internal error 30)"},
      {14, {" ."}, "SCRIPT:14:1: error: ' .' does not end the list"},
  });
}

TEST(ScriptCheckItems, Drivers) {
  RunRows("drivers", {
      {15, {"NT,orvdrv,drv\\orvdrv.sys,Orv Driver", "W2,orvdrv,DRV\\ORVDRV.SYS,Orv Driver", "."}, ""},
      {15, {"95,orvdrv,drv\\orvdrv.sys,Orv Driver", "."},
       "SCRIPT:15:1: error: driver platform code '95' never matches: drivers are installed on 98, NT and W2 only"},
      {15, {"XP,orvdrv,drv\\orvdrv.sys,Orv Driver", "."},
       "SCRIPT:15:1: error: unknown driver platform code 'XP': the codes are 98, NT and W2"},
      {15, {"NT,orvdrv,drv\\orvdrv.sys", "."},
       "SCRIPT:15:1: error: a driver line needs four fields: platform code, driver name, driver file, display name; "
       "this one has 3 (the installer would skip it)"},
      {15, {"NT,orvdrv,drv\\orvdrv.sy,Orv Driver", "."},
       "SCRIPT:15:11: error: driver file 'drv\\orvdrv.sy' is not in the payload (did you mean 'drv\\orvdrv.sys'?)"},
      {15, {"NT,plain,drv\\plain.sys,Plain Driver", "."},
       "SCRIPT:15:10: error: driver file 'drv\\plain.sys' carries no version resource: the driver step compares "
       "versions"},
      {15, {"NT,orv\\drv,drv\\orvdrv.sys,Orv Driver", "."},
       "SCRIPT:15:7: error: the driver name 'orv\\drv' may not hold '\\': it names the driver's file and its service"},
      {15, {"NT,lpt1,drv\\orvdrv.sys,Orv Driver", "."},
       "SCRIPT:15:4: error: the driver name 'lpt1' is a name that Windows keeps for a device"},
      {15, {"NT,orvdrv,drv\\orvdrv.sys,Orv Driver, version 2", "."},
       "SCRIPT:15:37: warning: the fields after the display name are ignored: ' version 2' (a display name cannot "
       "hold a comma)"},
      {15, {"NT,orvdrv,drv\\orvdrv.sys,Orv Driver,", "."}, ""},
      {15, {"NT," + std::string(240, 'n') + ",drv\\orvdrv.sys,Orv Driver", "."},
       "SCRIPT:15:4: error: the driver name '" + std::string(240, 'n') +
           "' is too long for the installer's 259-character paths"},
      {15, {"NT,orvdrv,drv\\orvdrv.sys,Orv Driver"}, "SCRIPT:15: error: the list of drivers, begun on this line, is not "
                                                     "closed by a '.' line (the installer would stop with internal "
                                                     "error 70)", 15},
  });
}

TEST(ScriptCheckItems, ProgramsToRun) {
  RunRows("programs to run", {
      {16, {"index.html,&View the documentation,ON"}, ""},
      {16, {"index.html,&View the documentation,"}, ""},
      {16, {"index.html,&View the documentation,Off"}, ""},
      {16, {"Lumivane.exe,&Start Lumivane,on", "history.txt,Read the &history,", "docs,Open the &folder,off"}, ""},
      {16, {"index.html,&View the documentation"},
       "SCRIPT:16:1: error: a program to run needs two commas: file, check-box text, initial state ('on' or empty); "
       "this line has 1 (the installer would offer nothing for it)"},
      {16, {"index.htm,&View,on"}, "SCRIPT:16:1: error: program to run 'index.htm' is not in the payload (did you mean "
                                   "'index.html'?)"},
      {16, {"index.html,&View,yes"}, "SCRIPT:16:18: error: initial state 'yes' is neither 'on' nor empty or 'off': the "
                                     "box would start unticked"},
      {16, {"index.html,&View,on "}, "SCRIPT:16:18: error: initial state 'on ' is neither 'on' nor empty or 'off'", 0,
       false},
      {16, {",&Open the folder,"}, "SCRIPT:16:1: warning: a program to run names no file before its first comma: it "
                                   "would open the installation directory"},
      {16, {"index.html,,on"}, "SCRIPT:16:12: warning: the check box of this program to run has no text"},
      {16, {"index.html,&A,on", "index.html,&B,", "index.html,&C,", "index.html,&D,on"},
       "SCRIPT:19: warning: only the first three programs to run are offered: this line is skipped"},
  });
}

TEST(ScriptCheckItems, NeverRead) {
  RunRows("never read", {
      {18, {""}, ""},
      {18, {"index.html,&More,on"}, "SCRIPT:18: warning: never read: the installer stops at the '.' on line 17, which "
                                    "closes the programs to run; this line and any after it are ignored"},
      {18, {"", "\t\t; a note", "; another"}, ""},
      {18, {"", "; a note", "index.html,&More,on"}, "SCRIPT:20: warning: never read"},
  });
}

}  // namespace
