#pragma once
// The inside of CheckScript: one reader that takes the script line by line exactly as the
// installer's cursor does (the installer's own ScriptCursor over a copy of the text), and
// the checks of each item in the order in which the installer's steps read them. The reader
// and the checks every line gets are in reader.cpp, the header items (1 to 10) in
// header.cpp, the lists from the folder items on in lists.cpp, the order of it all in
// script_check.cpp.
#include <string>
#include <vector>

#include "common/format/install_script.h"
#include "tools/script_check/diagnostics.h"
#include "tools/script_check/items.h"
#include "tools/payload/names.h"

// Directories of usual length on a user's machine, for the checks of path lengths.
extern const char kUsualProgramFilesDir[];
extern const char kUsualWindowsDir[];
extern const char kUsualProgramsDir[];
const size_t kMaxPath = 259;  // the installer's paths: 260-byte buffers

// The script read line by line with the installer's cursor. Text must hold CR LF line ends
// only, so that each line the cursor hands out is one line of the file.
class ScriptReader {
 public:
  explicit ScriptReader(const std::string& text);
  // The next line's value (comment removed, in a writable copy), or null at the end.
  char* Next();
  // The number of the line last handed out (0 before the first).
  int line() const { return line_; }
  int LineCount() const { return static_cast<int>(raw_.size()); }
  // The line as stored, line end not included; number is 1-based.
  const std::string& Raw(int number) const { return raw_[number - 1]; }
  // The 1-based column of a position in the line last handed out.
  int Column(const char* p) const { return static_cast<int>(p - start_) + 1; }

 private:
  std::vector<char> buffer_;
  ScriptCursor cursor_;
  std::vector<std::string> raw_;
  int line_ = 0;
  const char* start_ = nullptr;
};

// A value quoted for a message: in single quotes, converted to UTF-8 for the terminal.
std::string Quote(const std::string& value);
// The first character of text that a file or folder name may not hold (control
// characters and \ / : * ? " < > |), or null. allowSeparators lets '\' and '/' pass.
const char* FindBadNameChar(const char* text, bool allowSeparators);
// Whether a name is one that Windows keeps for a device, and letters in upper case: IsDeviceName
// and UpperAscii (tools/payload/names.h).
// How a character is shown in a message: 'x', or "a TAB", "a control character".
std::string ShowChar(char c);

class ScriptChecker {
 public:
  ScriptChecker(const std::string& text, const std::vector<PackEntry>& payload, const std::string& fileName,
                Diagnostics* diags)
      : reader_(text), names_(payload), file_(fileName), diags_(diags) {}

  void Run();

 private:
  // Reading, with the checks every line gets.
  char* NextValueLine();  // a line that holds a value: the blanks and ';' checks
  // The line of a one-line item, or null (the error reported) when the script ends before it.
  char* ItemLine(int number);
  void CheckValueEnds(int line, const std::string& raw, const char* value);
  // True (after an error) when a list line is a "." with blanks around it.
  bool NearListEnd(const char* value);
  void Missing(const ScriptItem& item);
  // A list that the script ends inside: reported at its first line.
  void Unclosed(int start, const ScriptItem& list);
  void Error(int column, const std::string& message) { diags_->Error(file_, reader_.line(), column, message); }
  void Warning(int column, const std::string& message) { diags_->Warning(file_, reader_.line(), column, message); }
  void NotInPayload(int column, const std::string& what, const std::string& target);

  // Items, in reading order; each false when the script ended before it.
  bool Platforms();
  bool UninstallName();
  bool Names();
  bool DownloadSite();
  bool Dependencies(const ScriptItem& item, const char* where);
  bool InstallDir();
  bool FolderName();
  bool FolderItems();
  bool RegistryItems();
  bool Drivers();
  void ProgramsToRun();
  void NeverRead();

  ScriptReader reader_;
  PayloadNames names_;
  std::string file_;
  Diagnostics* diags_;

  // What later checks need of earlier items.
  std::string uninstallName_;
  std::string folderName_;
  int siteLine_ = 0;
  bool siteEmpty_ = false;
  int siteShown_ = -1;  // how much of a download site too long for its message is shown
  int dependencies_ = 0;
};
