#include "common/format/install_script.h"

#include <string.h>

#include "common/format/version.h"

char* ScriptCursor::Next() {
  if (!pos_ || pos_ >= end_) return nullptr;
  char* line = pos_;
  char* cr = line;
  while (cr < end_ && *cr != '\r') cr++;
  if (cr < end_) {
    *cr = 0;
    pos_ = cr + 1;
    if (pos_ < end_ && *pos_ == '\n') pos_++;
  } else {
    pos_ = nullptr;
  }
  char* semicolon = strrchr(line, ';');
  if (!semicolon) return line;
  *semicolon = 0;
  for (char* p = semicolon; p > line && p[-1] == '\t'; p--) p[-1] = 0;
  return line;
}

bool IsListEnd(const char* line) { return line[0] == '.' && line[1] == 0; }

char* TokenSplit::Next() {
  if (!pos_) return nullptr;
  while (*pos_ == ',') pos_++;
  if (!*pos_) return nullptr;
  char* field = pos_;
  char* comma = strchr(pos_, ',');
  if (comma) {
    *comma = 0;
    pos_ = comma + 1;
  } else {
    pos_ = field + strlen(field);
  }
  return field;
}

char* SplitFirstComma(char* line) {
  char* comma = strchr(line, ',');
  if (!comma) return nullptr;
  *comma = 0;
  return comma + 1;
}

int SplitTwoCommas(char* line, char* fields[3]) {
  fields[0] = line;
  char* second = SplitFirstComma(line);
  if (!second) {
    fields[1] = fields[2] = line + strlen(line);
    return 1;
  }
  fields[1] = second;
  char* rest = SplitFirstComma(second);
  if (!rest) {
    fields[2] = second + strlen(second);
    return 2;
  }
  fields[2] = rest;
  return 3;
}

int ReadScriptNumber(const char* field) { return ReadDecimalInt(field); }
