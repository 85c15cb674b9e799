#include "tools/host/process.h"

#include <gtest/gtest.h>
#include <stdio.h>
#include <unistd.h>

#include <string>

namespace {

TEST(HostProcess, ShellQuotedIsOneWord) {
  // Each path, quoted, comes back from the shell as the one word it was.
  const char* paths[] = {"plain", "with space", "it's", "$HOME", "a\"b", "`x`", "*", ""};
  for (const char* p : paths) {
    std::string line = "test " + ShellQuoted(p) + " = " + ShellQuoted(p) + " && test \"$(printf %s " +
                       ShellQuoted(p) + ")\" = " + ShellQuoted(p);
    ShellOutcome run = RunShell(line);
    EXPECT_TRUE(run.started) << p;
    EXPECT_EQ(0, run.status) << p << ": " << line;
  }
}

TEST(HostProcess, RunShellOutcomes) {
  struct Case {
    const char* line;
    bool signalled;
    int status;
  };
  const Case cases[] = {
      {"true", false, 0},
      {"exit 3", false, 3},
      {"kill -TERM $$", true, 0},
  };
  for (const Case& c : cases) {
    ShellOutcome run = RunShell(c.line);
    EXPECT_TRUE(run.started) << c.line;
    EXPECT_EQ(c.signalled, run.signalled) << c.line;
    EXPECT_EQ(c.status, run.status) << c.line;
  }
}

TEST(HostProcess, CommandOutputGoesToStderr) {
  // Capture stdout: nothing the command prints may arrive there.
  fflush(stdout);
  FILE* capture = tmpfile();
  int saved = dup(1);
  dup2(fileno(capture), 1);
  ShellOutcome run = RunShell("echo to-stdout");
  fflush(stdout);
  dup2(saved, 1);
  close(saved);
  fseek(capture, 0, SEEK_END);
  long size = ftell(capture);
  fclose(capture);
  EXPECT_TRUE(run.started);
  EXPECT_EQ(0, run.status);
  EXPECT_EQ(0, size);
}

}  // namespace
