#include "install/logic/completion_option.h"

#include "common/format/install_script.h"

#include <stdlib.h>
#include <string.h>

bool SplitOptionLine(char* line, CompletionOption* option) {
  char* fields[3];
  if (SplitTwoCommas(line, fields) < 3) return false;
  option->file = fields[0];
  option->text = fields[1];
  option->state = fields[2];
  return true;
}

bool IsOnState(const char* state) {
  return (state[0] == 'o' || state[0] == 'O') && (state[1] == 'n' || state[1] == 'N') && state[2] == 0;
}

char* BuildStartFailureText(const char* file, const char* reason) {
  static const char kHead[] = "Could not start ";
  static const char kOpen[] = " (";
  size_t f = strlen(file), r = strlen(reason);
  size_t total = sizeof kHead - 1 + f + sizeof kOpen - 1 + r + 2;
  char* text = static_cast<char*>(malloc(total));
  if (!text) return nullptr;
  char* p = text;
  memcpy(p, kHead, sizeof kHead - 1);
  p += sizeof kHead - 1;
  memcpy(p, file, f);
  p += f;
  memcpy(p, kOpen, sizeof kOpen - 1);
  p += sizeof kOpen - 1;
  memcpy(p, reason, r);
  p += r;
  *p++ = ')';
  *p = 0;
  return text;
}
