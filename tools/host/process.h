#pragma once
// Other programs and the console (host only): a command run by the platform's shell, the
// process replaced by another program, and whether stderr is a terminal.
#include <string>
#include <vector>

// Whether stderr is a terminal that shows a progress line. On Windows a console (the C
// library's _isatty also says yes for the NUL device).
bool ErrorsToTerminal();

// A path quoted as one word for the shell that RunShell uses: /bin/sh, or cmd.exe on
// Windows (where a path cannot hold '"').
std::string ShellQuoted(const std::string& path);

struct ShellOutcome {
  bool started = false;    // false: error says why
  bool signalled = false;  // ended by a signal (never on Windows)
  int status = 0;          // the exit status, when it ran to its end (on Windows whatever system() gave)
  std::string error;
};

// The command line run by the shell (system()), its standard output sent to stderr, so that
// orv's own output is what stdout shows.
ShellOutcome RunShell(const std::string& line);

// Whether ExecProgram can replace the process: not on Windows.
extern const bool kCanExecProgram;

// Replaces the process with args[0], looked for on PATH, given args. Returns only when that
// fails (or cannot be done here).
void ExecProgram(const std::vector<std::string>& args);
