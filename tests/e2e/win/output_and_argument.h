#pragma once
// What the read-back test programs share: a command tail of "<output file> <argument>" (the
// output path holds no blank; the argument is the whole rest, blanks included), and the
// answer written to the output file.
#include <windows.h>

#include "uninstall/logic/command_tail.h"

// Cuts the program's own command line at the first blank after the program path. False
// when there is no blank (no argument).
inline bool OutputAndArgument(const char** output, const char** argument) {
  char* line = GetCommandLineA();
  const char* found = FindCommandTail(line);
  char* tail = found ? line + (found - line) : line + lstrlenA(line);
  char* blank = tail;
  while (*blank && *blank != ' ') blank++;
  if (!*blank) return false;
  *blank = 0;
  *output = tail;
  *argument = blank + 1;
  return true;
}

// Writes text (without its terminating NUL) as the whole of the file at path.
inline bool WriteAnswer(const char* path, const char* text) {
  HANDLE out = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (out == INVALID_HANDLE_VALUE) return false;
  DWORD written;
  BOOL ok = WriteFile(out, text, lstrlenA(text), &written, NULL);
  CloseHandle(out);
  return ok && written == (DWORD)lstrlenA(text);
}
