#include "uninstall/logic/command_tail.h"

namespace {
bool IsBlank(char c) { return c == ' ' || c == '\t'; }
}  // namespace

const char* FindCommandTail(const char* commandLine) {
  if (commandLine == nullptr) return nullptr;
  const char* p = commandLine;
  if (*p == '"') {
    p++;
    while (*p != 0 && *p != '"') p++;
    if (*p == '"') p++;
  } else {
    while (*p != 0 && !IsBlank(*p)) p++;
  }
  if (*p == 0) return nullptr;
  while (IsBlank(*p)) p++;
  return p;
}

int ParseCommandTail(const char* tail, UninstallCommand* command) {
  if (tail == nullptr) return kNoCommandTail;
  if (*tail == 0) return kEmptyCommandTail;
  command->quiet = tail[0] == '-' && tail[1] == 'q' && tail[2] == ' ' && tail[3] != 0;
  command->path = command->quiet ? tail + 3 : tail;
  return kCommandTailOk;
}
