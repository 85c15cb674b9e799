// The checks of the install script's header items, from the platforms (item 1) to the
// suggested folder name (item 10); the lists after them are checked in lists.cpp.
#include <stdlib.h>
#include <string.h>

#include "install/logic/messages.h"
#include "install/logic/registration.h"
#include "install/results.h"
#include "tools/script_check/checker.h"

namespace {

const char* const kPlatformCodes[] = {"95", "98", "NT", "W2"};

bool IsPlatformCode(const std::string& code) {
  for (const char* known : kPlatformCodes)
    if (code == known) return true;
  return false;
}

// Whether a number field reads as what it shows: optional leading white space, then digits
// only (the installer's reading takes a sign and stops at the first non-digit).
bool PlainNumber(const char* field) {
  while (*field == ' ' || *field == '\t') field++;
  if (!*field) return false;
  for (; *field; field++)
    if (*field < '0' || *field > '9') return false;
  return true;
}

}  // namespace

bool ScriptChecker::Platforms() {
  char* line = ItemLine(1);
  if (!line) return false;
  TokenSplit split(line);
  int codes = 0;
  for (char* code; (code = split.Next()) != nullptr; codes++) {
    std::string text = code;
    if (IsPlatformCode(text)) continue;
    std::string message = "unknown platform code " + Quote(text) + ": the codes are 95, 98, NT and W2";
    if (text.find(' ') != std::string::npos || text.find('\t') != std::string::npos)
      message += " (a blank or TAB is part of the code)";
    else if (IsPlatformCode(UpperAscii(text)))
      message += " (letter case matters)";
    Error(reader_.Column(code), message);
  }
  if (codes == 0) Error(1, "no platform code: name at least one of 95, 98, NT and W2, separated by commas");
  return true;
}

bool ScriptChecker::UninstallName() {
  char* line = ItemLine(2);
  if (!line) return false;
  TokenSplit split(line);
  char* name = split.Next();
  if (!name) {
    Error(1, "no uninstaller file name: this line is the file name and the four numbers of its version "
             "(such as UnstOrv.exe,1,0,0,3)");
    return true;
  }
  uninstallName_ = name;
  if (const char* bad = FindBadNameChar(name, false)) {
    Error(reader_.Column(bad), "the uninstaller's file name " + Quote(name) + " may not hold " + ShowChar(*bad) +
                                   ": it is written into the Windows directory");
  } else if (strlen(kUsualWindowsDir) + 1 + uninstallName_.size() > kMaxPath) {
    Error(reader_.Column(name), "the uninstaller's file name is too long: with a Windows directory such as " +
                                    std::string(kUsualWindowsDir) + " its path would pass 259 characters");
  }
  int numbers = 0;
  for (char* number; numbers < 4 && (number = split.Next()) != nullptr; numbers++) {
    unsigned read = static_cast<unsigned>(ReadScriptNumber(number));
    if (!PlainNumber(number) || std::to_string(read) != std::to_string(strtoull(number, nullptr, 10))) {
      Warning(reader_.Column(number), "version number " + Quote(number) + " is read as " + std::to_string(read));
    } else if (read > 0xFFFF) {
      Warning(reader_.Column(number), "version number " + Quote(number) +
                                          " is above 65535, the most that a part of a file's version can be");
    }
  }
  if (numbers < 4) {
    Error(0, "the uninstaller's version needs four numbers after the file name, found " + std::to_string(numbers) +
                 " (the installer would not write the uninstaller: internal error " +
                 std::to_string(kUninstallerNotDeployed) + ")");
  } else if (char* extra = split.Next()) {
    Warning(reader_.Column(extra), "fields after the fourth version number are ignored: " + Quote(extra));
  }
  return true;
}

// Items 3 to 5, and the texts the installer composes of them.
bool ScriptChecker::Names() {
  std::string value[3];
  int line[3];
  for (int i = 0; i < 3; i++) {
    char* text = ItemLine(3 + i);
    if (!text) return false;
    value[i] = text;
    line[i] = reader_.line();
  }
  const std::string& company = value[0];
  const std::string& app = value[1];
  const std::string& version = value[2];
  if (company.empty()) diags_->Warning(file_, line[0], 0, "the company name is empty");
  if (app.empty())
    diags_->Error(file_, line[1], 0,
                  "the application name is empty: it names the window class and the Add/Remove Programs entry");
  if (const char* bad = strchr(app.c_str(), '\\'))
    diags_->Error(file_, line[1], static_cast<int>(bad - app.c_str()) + 1,
                  "the application name may not hold '\\': it names the Add/Remove Programs entry's registry key");
  if (version.empty()) diags_->Warning(file_, line[2], 0, "the version is empty");

  SetupNameText setupName;
  BuildSetupName(app.c_str(), version.c_str(), setupName);
  std::string fullSetup = app + " " + version + " setup";
  if (fullSetup != setupName.c_str()) {
    bool nameKept = std::string(setupName.c_str()).compare(0, app.size() + 1, app + " ") == 0;
    diags_->Error(file_, nameKept ? line[2] : line[1], 0,
                  "the application name and version are too long for the setup name, which holds " +
                      std::to_string(SetupNameText::capacity()) + " characters: " + Quote(fullSetup) +
                      " would be cut to " + Quote(setupName.c_str()));
  }
  // A name and version that fit the setup name fit the confirmation question too.
  TitleText title;
  BuildWindowTitle(company.c_str(), setupName.c_str(), title);
  std::string fullTitle = company + " - " + setupName.c_str();
  if (fullTitle != title.c_str())
    diags_->Error(file_, line[0], 0,
                  "the company name is too long for the window title, which holds " +
                      std::to_string(TitleText::capacity()) + " characters: the company name would be cut to " +
                      Quote(std::string(title.c_str(), title.length() - fullTitle.size() + company.size())));
  PathText key;
  if (!BuildUninstallKeyPath(key, app.c_str()))
    diags_->Error(file_, line[1], 0, "the application name is too long for the Add/Remove Programs entry's key");
  return true;
}

bool ScriptChecker::DownloadSite() {
  char* site = ItemLine(6);
  if (!site) return false;
  siteLine_ = reader_.line();
  siteEmpty_ = !*site;
  RequiredFilesMessage message(site);
  std::string text = message.Finish().c_str();
  static const char kAt[] = "download site at ";
  size_t from = text.find(kAt) + sizeof kAt - 1;
  size_t shown = text.rfind("\n\nPress Cancel") - from;
  // Reported once the dependency lists are read: the message shows only when one names a file.
  if (shown < strlen(site)) siteShown_ = static_cast<int>(shown);
  return true;
}

bool ScriptChecker::Dependencies(const ScriptItem& item, const char* where) {
  int start = reader_.line() + 1;
  for (;;) {
    char* name = reader_.Next();
    if (!name) {
      Unclosed(start, item);
      return false;
    }
    if (IsListEnd(name)) return true;
    if (NearListEnd(name)) continue;
    CheckValueEnds(reader_.line(), reader_.Raw(reader_.line()), name);
    dependencies_++;
    if (!*name) {
      Warning(0, std::string("an empty line in the required files checks only that the ") + where + " exists");
    } else if (name[0] == '\\' || name[0] == '/' || (name[0] && name[1] == ':')) {
      Error(1, std::string("a required file is named relative to the ") + where + ": " + Quote(name) +
                   " would be looked for inside it");
    }
  }
}

bool ScriptChecker::InstallDir() {
  char* dir = ItemLine(9);
  if (!dir) return false;
  std::string value = dir;
  if (value.empty()) {
    Warning(0, "the suggested installation directory is empty: the product would be installed straight into the "
               "Program Files directory");
  }
  if (value.size() >= 2 && value[1] == ':') {
    Error(1, "the suggested installation directory " + Quote(value) +
                 " must be relative to the Program Files directory, without a drive");
    return true;
  }
  if (!value.empty() && (value[0] == '\\' || value[0] == '/')) {
    Error(1, "the suggested installation directory " + Quote(value) +
                 " must be relative to the Program Files directory: it may not start with " + ShowChar(value[0]));
    return true;
  }
  if (const char* bad = FindBadNameChar(dir, true)) {
    Error(reader_.Column(bad), "the suggested installation directory may not hold " + ShowChar(*bad));
    return true;
  }
  std::string parts = "\\" + value + "\\";
  for (char& c : parts)
    if (c == '/') c = '\\';
  if (parts.find("\\..\\") != std::string::npos) {
    Error(1, "the suggested installation directory may not hold '..': it would lead out of the Program Files "
             "directory");
    return true;
  }

  std::string full = kUsualProgramFilesDir + value;
  if (!full.empty() && full.back() != '\\' && full.back() != '/') full += '\\';
  std::string longest = names_.Longest().size() > 10 ? names_.Longest() : "Uninst.orv";
  if (full.size() + longest.size() > kMaxPath) {
    Error(0, "the installation directory " + Quote(full) + " (" + std::to_string(full.size()) +
                 " characters under a Program Files directory of usual length) leaves no room for " +
                 Quote(longest) + " (" + std::to_string(longest.size()) +
                 " characters): the installer's paths hold 259 characters");
    return true;
  }
  PathText command;
  std::string uninstaller = std::string(kUsualWindowsDir) + "\\" + uninstallName_;
  std::string script = full + "Uninst.orv";
  if (!BuildUninstallCommand(command, uninstaller.c_str(), script.c_str()))
    Error(0, "the uninstall command " + Quote(uninstaller + " " + script) +
                 " would be longer than the 259 characters the installer holds for it");
  return true;
}

bool ScriptChecker::FolderName() {
  char* name = ItemLine(10);
  if (!name) return false;
  folderName_ = name;
  if (!*name) {
    Warning(0, "the suggested folder name is empty: the user would have to type one");
  } else if (const char* bad = FindBadNameChar(name, false)) {
    Error(reader_.Column(bad), "the suggested folder name " + Quote(name) + " may not hold " + ShowChar(*bad) +
                                   ": it is one folder in the Start menu");
  } else if (IsDeviceName(name)) {
    Error(1, "the suggested folder name " + Quote(name) + " is a name that Windows keeps for a device");
  } else if (strlen(kUsualProgramsDir) + folderName_.size() + 1 > kMaxPath) {
    Error(0, "the suggested folder name is too long: under a Programs folder of usual length (" +
                 std::string(kUsualProgramsDir) + ") the folder would pass the installer's 259-character paths");
  }
  return true;
}

