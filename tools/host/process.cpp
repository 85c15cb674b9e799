#include "tools/host/process.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/wait.h>
#endif

namespace {

// system() with the command's standard output sent to stderr.
int SystemToStderr(const std::string& line) {
  fflush(stdout);
  fflush(stderr);
  int saved = dup(1);
  if (saved >= 0) dup2(2, 1);
  int rc = system(line.c_str());
  if (saved >= 0) {
    dup2(saved, 1);
    close(saved);
  }
  return rc;
}

}  // namespace

bool ErrorsToTerminal() {
#ifdef _WIN32
  DWORD mode;
  return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
#else
  return isatty(2) != 0;
#endif
}

std::string ShellQuoted(const std::string& path) {
#ifdef _WIN32
  return "\"" + path + "\"";
#else
  std::string q = "'";
  for (char c : path) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
#endif
}

ShellOutcome RunShell(const std::string& line) {
  ShellOutcome outcome;
#ifdef _WIN32
  outcome.started = true;
  outcome.status = SystemToStderr("\"" + line + "\"");  // cmd /c drops the outer quotes
#else
  int rc = SystemToStderr(line);
  if (rc == -1) {
    outcome.error = strerror(errno);
  } else {
    outcome.started = true;
    outcome.signalled = !WIFEXITED(rc);
    if (WIFEXITED(rc)) outcome.status = WEXITSTATUS(rc);
  }
#endif
  return outcome;
}

#ifdef _WIN32
const bool kCanExecProgram = false;

void ExecProgram(const std::vector<std::string>& args) {}
#else
const bool kCanExecProgram = true;

void ExecProgram(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  fflush(stdout);
  execvp(argv[0], argv.data());
}
#endif
