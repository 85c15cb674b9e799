#pragma once
// The completion dialog's pure pieces: the initial state of an option line (whose fields
// the two-comma split of install_script.h gives) and the text of the message shown when an
// option cannot be started.

// An option line: file path relative to the installation directory, a comma, the check
// box text, a comma, and the initial state (the whole rest of the line).
struct CompletionOption {
  const char* file;
  const char* text;
  const char* state;
};

// The two-comma split of an option line. False when the line holds fewer than two commas:
// such a line gives no option.
bool SplitOptionLine(char* line, CompletionOption* option);

// The initial state ticks the box when it is "on" in any letter case, and nothing else.
bool IsOnState(const char* state);

// "Could not start " + file + " (" + reason + ")" in a block from malloc, which the caller
// frees; null without memory.
char* BuildStartFailureText(const char* file, const char* reason);
