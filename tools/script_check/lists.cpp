// The checks of the install script's lists from the folder items on (items 11 to 14) and of
// the lines after the last list; the reader and the header items are in reader.cpp and header.cpp.
#include <string.h>

#include <map>

#include "install/logic/completion_option.h"
#include "install/logic/driver_entry.h"
#include "install/results.h"
#include "tools/script_check/checker.h"

namespace {

// The installer offers this many programs to run; further lines are read and skipped.
const int kOptionSlots = 3;

}  // namespace

bool ScriptChecker::FolderItems() {
  int start = reader_.line() + 1;
  std::map<std::string, int> titles;  // shortcut file names, by lower-case title
  for (;;) {
    char* line = reader_.Next();
    if (!line) {
      Unclosed(start, ScriptItemNumber(11));
      return false;
    }
    if (IsListEnd(line)) return true;
    if (NearListEnd(line)) continue;
    CheckValueEnds(reader_.line(), reader_.Raw(reader_.line()), line);
    char* title = SplitFirstComma(line);
    if (!title) {
      Error(1, "a folder item needs a comma between the file and the shortcut's title: " + Quote(line) +
                   " (the installer would stop with internal error " + std::to_string(kFolderItemNoComma) + ")");
      continue;
    }
    if (!*line) {
      Warning(1, "a folder item names no file before its comma: the shortcut would open the installation directory");
    } else if (!names_.FindFile(line) && !names_.IsDirectory(line)) {
      NotInPayload(1, "shortcut target", line);
    }
    if (!*title) {
      Warning(reader_.Column(title), "the shortcut's title is empty: the shortcut would be named '.lnk'");
    } else if (const char* bad = FindBadNameChar(title, false)) {
      Error(reader_.Column(bad), "the shortcut's title " + Quote(title) + " may not hold " + ShowChar(*bad) +
                                     ": it is the shortcut's file name (the installer would stop with internal "
                                     "error 26)");
      continue;
    } else if (IsDeviceName(title)) {
      Error(reader_.Column(title), "the shortcut's title " + Quote(title) +
                                       " is a name that Windows keeps for a device: the shortcut could not be made");
      continue;
    }
    std::string link = std::string(kUsualProgramsDir) + folderName_ + "\\" + title + ".lnk";
    if (link.size() > kMaxPath)
      Error(reader_.Column(title), "the shortcut " + Quote(folderName_ + "\\" + title + ".lnk") +
                                       " would not fit the installer's 259-character paths under a Programs "
                                       "folder of usual length (" +
                                       kUsualProgramsDir + ")");
    auto seen = titles.emplace(FoldCase(title), reader_.line());
    if (!seen.second)
      Warning(reader_.Column(title), "a second shortcut titled " + Quote(title) + " replaces the one of line " +
                                         std::to_string(seen.first->second));
  }
}

bool ScriptChecker::RegistryItems() {
  char* line = reader_.Next();
  if (!line) {
    Missing(ScriptItemNumber(12));
    return false;
  }
  if (!IsListEnd(line) && !NearListEnd(line))
    Error(1, "the registry-item list must be empty: this line must be exactly '.' (the installer would stop with "
             "internal error " + std::to_string(kRegistryItemsNotEmpty) + ")");
  return true;
}

bool ScriptChecker::Drivers() {
  int start = reader_.line() + 1;
  for (;;) {
    char* line = reader_.Next();
    if (!line) {
      Unclosed(start, ScriptItemNumber(13));
      return false;
    }
    if (IsListEnd(line)) return true;
    if (NearListEnd(line)) continue;
    CheckValueEnds(reader_.line(), reader_.Raw(reader_.line()), line);
    const char* lineEnd = line + strlen(line);
    DriverEntry entry;
    unsigned fields = SplitDriverLine(line, &entry);
    if (fields < 4) {
      Error(1, "a driver line needs four fields: platform code, driver name, driver file, display name; this one "
               "has " +
                   std::to_string(fields) + " (the installer would skip it)");
      continue;
    }
    // What the token split leaves after the display name's comma is ignored.
    const char* rest = entry.displayName + strlen(entry.displayName);
    if (rest < lineEnd) rest++;
    if (rest[strspn(rest, ",")])
      Warning(reader_.Column(rest), "the fields after the display name are ignored: " + Quote(rest) +
                                        " (a display name cannot hold a comma)");
    std::string code = entry.platform;
    if (code == "95") {
      Error(1, "driver platform code '95' never matches: drivers are installed on 98, NT and W2 only");
    } else if (code != "98" && code != "NT" && code != "W2") {
      Error(1, "unknown driver platform code " + Quote(code) + ": the codes are 98, NT and W2");
    }
    PathText path;
    if (const char* bad = FindBadNameChar(entry.name, false)) {
      Error(reader_.Column(bad), "the driver name " + Quote(entry.name) + " may not hold " + ShowChar(*bad) +
                                     ": it names the driver's file and its service");
    } else if (IsDeviceName(entry.name)) {
      Error(reader_.Column(entry.name), "the driver name " + Quote(entry.name) +
                                            " is a name that Windows keeps for a device");
    } else if (!BuildDriverPath(path, kUsualWindowsDir, entry.name) || !BuildServiceKey(path, entry.name)) {
      Error(reader_.Column(entry.name), "the driver name " + Quote(entry.name) +
                                            " is too long for the installer's 259-character paths");
    }
    const PackEntry* file = names_.FindFile(entry.source);
    if (!file) {
      NotInPayload(reader_.Column(entry.source), "driver file", entry.source);
    } else if (!file->hasVersion) {
      Error(reader_.Column(entry.source), "driver file " + Quote(entry.source) +
                                              " carries no version resource: the driver step compares versions");
    }
  }
}

void ScriptChecker::ProgramsToRun() {
  for (int slot = 0;; slot++) {
    char* line = reader_.Next();
    // The end of the script ends this list as well as its '.' does.
    if (!line || IsListEnd(line)) return;
    if (NearListEnd(line)) continue;
    CheckValueEnds(reader_.line(), reader_.Raw(reader_.line()), line);
    if (slot >= kOptionSlots) {
      Warning(0, "only the first three programs to run are offered: this line is skipped");
      continue;
    }
    const char* comma = strchr(line, ',');
    int commas = comma ? (strchr(comma + 1, ',') ? 2 : 1) : 0;
    CompletionOption option;
    if (!SplitOptionLine(line, &option)) {
      Error(1, "a program to run needs two commas: file, check-box text, initial state ('on' or empty); this line "
               "has " +
                   std::to_string(commas) + " (the installer would offer nothing for it)");
      continue;
    }
    if (!*option.file)
      Warning(1, "a program to run names no file before its first comma: it would open the installation directory");
    else if (!names_.FindFile(option.file) && !names_.IsDirectory(option.file))
      NotInPayload(1, "program to run", option.file);
    if (!*option.text) Warning(reader_.Column(option.text), "the check box of this program to run has no text");
    if (*option.state && !IsOnState(option.state) && FoldCase(option.state) != "off")
      Error(reader_.Column(option.state), "initial state " + Quote(option.state) +
                                              " is neither 'on' nor empty or 'off': the box would start unticked");
  }
}

void ScriptChecker::NeverRead() {
  // Empty lines and lines that hold only a comment would mean nothing if they were read.
  int last = reader_.line();
  while (const char* value = reader_.Next()) {
    if (!*value) continue;
    diags_->Warning(file_, reader_.line(), 0,
                    "never read: the installer stops at the '.' on line " + std::to_string(last) +
                        ", which closes the programs to run; this line and any after it are ignored");
    return;
  }
}
