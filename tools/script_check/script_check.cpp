#include "tools/script_check/script_check.h"

#include <stdlib.h>
#include <string.h>

#include "install/logic/messages.h"
#include "install/logic/registration.h"
#include "install/results.h"
#include "tools/script_check/checker.h"
#include "tools/script_check/text_1252.h"

const char kUsualProgramFilesDir[] = "C:\\Program Files\\";
const char kUsualWindowsDir[] = "C:\\WINDOWS";
const char kUsualProgramsDir[] = "C:\\Users\\Administrator\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\";

namespace {

const char* const kPlatformCodes[] = {"95", "98", "NT", "W2"};

std::string Upper(const std::string& s) {
  std::string u = s;
  for (char& c : u)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return u;
}

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

ScriptReader::ScriptReader(const std::string& text) : buffer_(text.begin(), text.end()) {
  buffer_.push_back(0);
  cursor_.Reset(buffer_.data(), static_cast<unsigned>(text.size()));
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find("\r\n", start);
    if (end == std::string::npos) end = text.size();
    raw_.push_back(text.substr(start, end - start));
    start = end + 2;
  }
}

char* ScriptReader::Next() {
  char* line = cursor_.Next();
  if (line) {
    line_++;
    start_ = line;
  }
  return line;
}

std::string Quote(const std::string& value) { return "'" + Cp1252ToUtf8(value) + "'"; }

const char* FindBadNameChar(const char* text, bool allowSeparators) {
  for (const char* p = text; *p; p++) {
    unsigned char c = static_cast<unsigned char>(*p);
    if (c < 32 || strchr(":*?\"<>|", c)) return p;
    if (!allowSeparators && (c == '\\' || c == '/')) return p;
  }
  return nullptr;
}

bool IsDeviceName(const std::string& name) {
  std::string base = Upper(name.substr(0, name.find('.')));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL") return true;
  return base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) && base[3] >= '1' &&
         base[3] <= '9';
}

std::string ShowChar(char c) {
  if (c == '\t') return "a TAB";
  if (static_cast<unsigned char>(c) < 32) return "a control character";
  return std::string("'") + c + "'";
}

char* ScriptChecker::NextValueLine() {
  char* value = reader_.Next();
  if (value) CheckValueEnds(reader_.line(), reader_.Raw(reader_.line()), value);
  return value;
}

void ScriptChecker::CheckValueEnds(int line, const std::string& raw, const char* value) {
  size_t length = strlen(value);
  size_t kept = length;
  while (kept > 0 && (value[kept - 1] == ' ' || value[kept - 1] == '\t')) kept--;
  size_t semicolon = raw.rfind(';');
  if (semicolon == std::string::npos || raw.find('\0') < semicolon) {
    if (kept < length)
      diags_->Warning(file_, line, static_cast<int>(kept) + 1,
                      "blanks or TABs at the end of the line stay in the value: " + Quote(value));
    return;
  }
  if (kept < length) {
    diags_->Warning(file_, line, static_cast<int>(kept) + 1,
                    "blanks before the comment stay in the value: " + Quote(value) +
                        " (only TABs before ';' are dropped)");
  } else if (length > 0 && raw[semicolon - 1] != '\t') {
    diags_->Warning(file_, line, static_cast<int>(semicolon) + 1,
                    "the text from this ';' on is taken as a comment and dropped: the value read is " + Quote(value) +
                        " (put TABs before a comment's ';'; a value keeps a ';' only when a comment follows it)");
  }
}

bool ScriptChecker::NearListEnd(const char* value) {
  if (IsListEnd(value)) return false;
  const char* p = value;
  while (*p == ' ' || *p == '\t') p++;
  if (*p != '.') return false;
  p++;
  while (*p == ' ' || *p == '\t') p++;
  if (*p) return false;
  Error(1, Quote(value) + " does not end the list: a list ends at a line that is exactly '.' (blanks make it an "
                          "ordinary line)");
  return true;
}

void ScriptChecker::Missing(const ScriptItem& item) {
  int line = reader_.LineCount() > 0 ? reader_.LineCount() : 1;
  diags_->Error(file_, line, 0,
                std::string("the script ends before ") + item.ending + " (the installer would stop with internal error " +
                    std::to_string(item.result) + ")");
}

void ScriptChecker::Unclosed(int start, const ScriptItem& list) {
  if (start > reader_.LineCount()) {
    Missing(list);
    return;
  }
  diags_->Error(file_, start, 0,
                std::string(list.ending) +
                    ", begun on this line, is not closed by a '.' line (the installer would stop with internal "
                    "error " + std::to_string(list.result) + ")");
}

void ScriptChecker::NotInPayload(int column, const std::string& what, const std::string& target) {
  std::string message = what + " " + Quote(target) + " is not in the payload";
  std::string nearest = names_.Suggest(target);
  if (!nearest.empty()) message += " (did you mean " + Quote(nearest) + "?)";
  Error(column, message);
}

bool ScriptChecker::Platforms() {
  char* line = NextValueLine();
  if (!line) {
    Missing(ScriptItemNumber(1));
    return false;
  }
  TokenSplit split(line);
  int codes = 0;
  for (char* code; (code = split.Next()) != nullptr; codes++) {
    std::string text = code;
    if (IsPlatformCode(text)) continue;
    std::string message = "unknown platform code " + Quote(text) + ": the codes are 95, 98, NT and W2";
    if (text.find(' ') != std::string::npos || text.find('\t') != std::string::npos)
      message += " (a blank or TAB is part of the code)";
    else if (IsPlatformCode(Upper(text)))
      message += " (letter case matters)";
    Error(reader_.Column(code), message);
  }
  if (codes == 0) Error(1, "no platform code: name at least one of 95, 98, NT and W2, separated by commas");
  return true;
}

bool ScriptChecker::UninstallName() {
  char* line = NextValueLine();
  if (!line) {
    Missing(ScriptItemNumber(2));
    return false;
  }
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
                 " (the installer would not write the uninstaller: internal error 4)");
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
    char* text = NextValueLine();
    if (!text) {
      Missing(ScriptItemNumber(3 + i));
      return false;
    }
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
  char* site = NextValueLine();
  if (!site) {
    Missing(ScriptItemNumber(6));
    return false;
  }
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
  char* dir = NextValueLine();
  if (!dir) {
    Missing(ScriptItemNumber(9));
    return false;
  }
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
  char* name = NextValueLine();
  if (!name) {
    Missing(ScriptItemNumber(10));
    return false;
  }
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

void ScriptChecker::Run() {
  if (!Platforms() || !UninstallName() || !Names() || !DownloadSite()) return;
  bool closed = Dependencies(ScriptItemNumber(7), "Windows directory") &&
                Dependencies(ScriptItemNumber(8), "system directory");
  if (dependencies_ > 0 && siteEmpty_)
    diags_->Warning(file_, siteLine_, 0,
                    "the download site is empty, but the message about missing required files quotes it");
  if (dependencies_ > 0 && siteShown_ >= 0)
    diags_->Error(file_, siteLine_, 0,
                  "the download site is too long for the message about missing required files: only its first " +
                      std::to_string(siteShown_) + " characters would be shown");
  if (!closed || !InstallDir() || !FolderName() || !FolderItems() || !RegistryItems() || !Drivers()) return;
  ProgramsToRun();
  NeverRead();
}

void CheckScript(const std::string& raw, const std::vector<PackEntry>& payload, const std::string& fileName,
                 std::string* normalised, Diagnostics* diags) {
  normalised->clear();
  if (raw.empty()) {
    diags->Error(fileName, 0, 0, "the install script is empty");
    return;
  }
  *normalised = NormaliseText(raw, fileName, diags);
  if (normalised->empty()) {
    diags->Error(fileName, 0, 0, "the install script is empty");
    return;
  }
  ScriptChecker(*normalised, payload, fileName, diags).Run();
}

void CheckLicence(const std::string& raw, const std::string& fileName, std::string* normalised, Diagnostics* diags) {
  *normalised = NormaliseText(raw, fileName, diags);
  if (normalised->empty()) {
    diags->Warning(fileName, 0, 0, "the licence is empty: the licence box would stay empty");
  } else if (normalised->size() - 2 > 0xFFFF) {
    diags->Warning(fileName, 0, 0,
                   "the licence is " + std::to_string(normalised->size()) +
                       " bytes long: the licence box of Windows 95, 98 and Me holds at most 65535");
  }
}
