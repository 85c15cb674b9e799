#pragma once
// The command lines of orv's verbs, read by one table each: the options a verb takes, what
// its other arguments may be and how many, and how it reports wrong usage. Every verb takes
// --help and -h (its help text on stdout, exit status 0); wrong usage ends with status 2.
#include <stddef.h>
#include <stdio.h>

#include <functional>
#include <string>
#include <vector>

// One option: its spellings, and a flag it sets or a value it takes from the next argument.
struct VerbOption {
  const char* names;            // the spellings, '|' between them: "-o|--output"
  bool* flag = nullptr;         // set when given (an option without a value)
  std::string* value = nullptr; // the next argument, whatever it is
  const char* needs = nullptr;  // the message when the value is missing: "-o needs a file"
  // Called with the value when it is taken: "" when it will do, else the usage message.
  std::function<std::string(const std::string&)> check;
};

// A flag: names set *flag.
VerbOption FlagOption(const char* names, bool* flag);
// An option with a value (needs: its message when the value is missing).
VerbOption ValueOption(const char* names, std::string* value, const char* needs,
                       std::function<std::string(const std::string&)> check = nullptr);

struct VerbOptions {
  VerbOptions(const char* verb, const char* help) : verb(verb), help(help) {}

  const char* verb;  // in messages: "orv VERB: MESSAGE (see orv VERB --help)"
  const char* help;  // the --help text
  std::vector<VerbOption> options;
  // What an argument beginning with '-' (not "-" alone) that no option spells is called in
  // the message that refuses it.
  const char* unknown = "unknown option ";
  // Unknown options are taken as arguments, in their place among them (the verb hands them on).
  bool passUnknown = false;
  // Which other arguments are taken; one that is not is refused at once as an "unexpected
  // argument". Null: every one.
  std::function<bool(const std::string&)> takes;
  // How many arguments there must be, and the message when there are not (checked once all
  // are read).
  size_t minArguments = 0;
  size_t maxArguments = (size_t)-1;
  const char* arguments = nullptr;
  // When set, every wrong usage prints this line instead of a message (an unknown option is
  // named on a line of its own first).
  const char* usage = nullptr;
};

// Reads argv by the table: options into their variables, the other arguments into *arguments.
// -1 when the verb goes on; else the exit status to end with, once the help (status 0) or
// the usage message (status 2) is written to out or err.
int ParseVerbOptions(const VerbOptions& table, int argc, char** argv, std::vector<std::string>* arguments,
                     FILE* out = stdout, FILE* err = stderr);

// "orv VERB: MESSAGE (see orv VERB --help)" on err, and exit status 2.
int UsageError(const char* verb, const std::string& message, FILE* err = stderr);
