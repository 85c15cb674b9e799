// The install script read as the installer reads it, and the checks that every line gets:
// the blanks and comment of a value, a list end written with blanks, a script that ends too
// soon; with the helpers that the items' checks share.
#include <string.h>

#include "tools/script_check/checker.h"
#include "tools/script_check/text_1252.h"

const char kUsualProgramFilesDir[] = "C:\\Program Files\\";
const char kUsualWindowsDir[] = "C:\\WINDOWS";
const char kUsualProgramsDir[] = "C:\\Users\\Administrator\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\";

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

char* ScriptChecker::ItemLine(int number) {
  char* value = NextValueLine();
  if (!value) Missing(ScriptItemNumber(number));
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

