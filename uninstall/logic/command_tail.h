#pragma once
// The uninstaller's command line. It takes one argument, the path of an uninstall script,
// optionally preceded by "-q " for quiet mode (the installer's roll-back). The path is taken
// literally: blanks are part of it and quotes are not removed.

// The command tail of a command line as the platform hands it over: what follows the
// program name and the blanks or tabs after it. The program name is either quoted (it
// runs to the closing quote) or runs to the first blank or tab. NULL when nothing at all
// follows the program name (no tail); an empty text when only blanks or tabs follow it.
const char* FindCommandTail(const char* commandLine);

struct UninstallCommand {
  bool quiet;
  const char* path;  // points into the tail
};

// Exit codes for a command tail that names no uninstall script.
enum CommandTailResult {
  kCommandTailOk = 0,
  kNoCommandTail = 1,     // tail is NULL
  kEmptyCommandTail = 2,  // tail is ""
};

// Reads the tail: "-q " followed by at least one more character sets quiet mode and the
// rest is the path; otherwise the whole tail is the path ("-q " alone, or "-q" directly
// followed by a path, is a path). Returns a CommandTailResult; *command is set on success.
int ParseCommandTail(const char* tail, UninstallCommand* command);
