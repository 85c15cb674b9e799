#include "tools/orv/options.h"

#include <gtest/gtest.h>
#include <stdio.h>

#include <string>
#include <vector>

namespace {

// What one reading of a command line gave.
struct Outcome {
  int status;
  std::string out, err;
  std::vector<std::string> arguments;
};

std::string ReadBack(FILE* f) {
  std::string text;
  rewind(f);
  char buf[256];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
  fclose(f);
  return text;
}

Outcome Parse(const VerbOptions& table, std::vector<std::string> args) {
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(&a[0]);
  FILE* out = tmpfile();
  FILE* err = tmpfile();
  Outcome o;
  o.arguments = {"sentinel"};
  o.status = ParseVerbOptions(table, (int)argv.size(), argv.data(), &o.arguments, out, err);
  o.out = ReadBack(out);
  o.err = ReadBack(err);
  return o;
}

const char kHelp[] = "Usage: orv make DIR -o FILE\n";

// A verb shaped as orv build is: values, flags, a checked value, one argument.
struct MakeVerb {
  std::string output, order, sign;
  bool quiet = false, strict = false;
  VerbOptions table{"make", kHelp};
  MakeVerb() {
    table.options = {ValueOption("-o|--output", &output, "-o needs a file"),
                     ValueOption("--order", &order, "--order needs a file"),
                     ValueOption("--sign", &sign, "--sign needs a command",
                                 [](const std::string& v) {
                                   return v.find("{in}") == std::string::npos ? "--sign needs {in}" : "";
                                 }),
                     FlagOption("-q|--quiet", &quiet), FlagOption("--strict", &strict)};
    table.minArguments = table.maxArguments = 1;
    table.arguments = "one folder expected";
  }
};

TEST(VerbOptions, ReadsByTheTable) {
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* out;
    const char* err;
    std::vector<std::string> arguments;  // when status is -1
    const char* output;
    bool quiet;
  };
  const Case cases[] = {
      {{"dir", "-o", "a.exe"}, -1, "", "", {"dir"}, "a.exe", false},
      {{"--output", "a.exe", "dir", "--quiet"}, -1, "", "", {"dir"}, "a.exe", true},
      {{"-q", "dir", "-o", "-q"}, -1, "", "", {"dir"}, "-q", true},  // a value is taken whatever it is
      {{"-", "-o", "x"}, -1, "", "", {"-"}, "x", false},             // "-" alone is an argument
      {{"dir", "-o", "a", "-o", "b"}, -1, "", "", {"dir"}, "b", false},
      {{"--help"}, 0, kHelp, "", {}, "", false},
      {{"-h", "--bogus"}, 0, kHelp, "", {}, "", false},
      {{"--bogus", "-h"}, 2, "", "orv make: unknown option --bogus (see orv make --help)\n", {}, "", false},
      {{"--output=a.exe", "dir"}, 2, "", "orv make: unknown option --output=a.exe (see orv make --help)\n", {}, "", false},
      {{"dir", "--output"}, 2, "", "orv make: -o needs a file (see orv make --help)\n", {}, "", false},
      {{"dir", "--order"}, 2, "", "orv make: --order needs a file (see orv make --help)\n", {}, "", false},
      {{"--sign", "x", "--bogus"}, 2, "", "orv make: --sign needs {in} (see orv make --help)\n", {}, "", false},
      {{"--sign", "{in}", "dir"}, -1, "", "", {"dir"}, "", false},
      {{}, 2, "", "orv make: one folder expected (see orv make --help)\n", {}, "", false},
      {{"a", "b"}, 2, "", "orv make: one folder expected (see orv make --help)\n", {}, "", false},
      {{"-h", "a", "b"}, 0, kHelp, "", {}, "", false},
  };
  for (const Case& c : cases) {
    std::string line;
    for (const std::string& a : c.args) line += " " + a;
    MakeVerb verb;
    Outcome o = Parse(verb.table, c.args);
    EXPECT_EQ(c.status, o.status) << line;
    EXPECT_EQ(c.out, o.out) << line;
    EXPECT_EQ(c.err, o.err) << line;
    if (c.status != -1) continue;
    EXPECT_EQ(c.arguments, o.arguments) << line;
    EXPECT_EQ(c.output, verb.output) << line;
    EXPECT_EQ(c.quiet, verb.quiet) << line;
  }
}

TEST(VerbOptions, ArgumentsTakenOrRefused) {
  // orv resources: NAME=FILE arguments only, anything else refused where it stands.
  VerbOptions named("resources", kHelp);
  named.unknown = "unexpected argument ";
  named.takes = [](const std::string& a) { return a.find('=') != std::string::npos && a[0] != '='; };
  // orv --version: no arguments at all.
  VerbOptions none("--version", kHelp);
  none.unknown = "unexpected argument ";
  none.takes = [](const std::string&) { return false; };
  // orv try: every argument handed on, options included.
  VerbOptions passed("try", kHelp);
  passed.passUnknown = true;
  passed.minArguments = 1;
  passed.arguments = "an installer is needed";
  struct Case {
    const VerbOptions* table;
    std::vector<std::string> args;
    int status;
    const char* err;
    std::vector<std::string> arguments;
  };
  const Case cases[] = {
      {&named, {"A=a", "B=b"}, -1, "", {"A=a", "B=b"}},
      {&named, {"A=a", "plain", "--help"}, 2, "orv resources: unexpected argument plain (see orv resources --help)\n", {}},
      {&named, {"=x"}, 2, "orv resources: unexpected argument =x (see orv resources --help)\n", {}},
      {&named, {"-x=y"}, 2, "orv resources: unexpected argument -x=y (see orv resources --help)\n", {}},
      {&named, {}, -1, "", {}},
      {&none, {}, -1, "", {}},
      {&none, {"extra", "--help"}, 2, "orv --version: unexpected argument extra (see orv --version --help)\n", {}},
      {&none, {"-x"}, 2, "orv --version: unexpected argument -x (see orv --version --help)\n", {}},
      {&none, {"--help", "extra"}, 0, "", {}},
      {&passed, {"setup.exe", "--windows", "98", "--keep"}, -1, "", {"setup.exe", "--windows", "98", "--keep"}},
      {&passed, {"--windows", "-h"}, 0, "", {}},
      {&passed, {}, 2, "orv try: an installer is needed (see orv try --help)\n", {}},
  };
  for (const Case& c : cases) {
    std::string line = c.table->verb;
    for (const std::string& a : c.args) line += " " + a;
    Outcome o = Parse(*c.table, c.args);
    EXPECT_EQ(c.status, o.status) << line;
    EXPECT_EQ(c.err, o.err) << line;
    EXPECT_EQ(c.status == 0 ? kHelp : "", o.out) << line;
    if (c.status == -1) {
      EXPECT_EQ(c.arguments, o.arguments) << line;
    }
  }
}

TEST(VerbOptions, OneUsageLineForEveryFault) {
  // orv pack's form: the usage line, after a line of its own for an unknown option.
  const char kUsage[] = "orv pack: usage: orv pack [--order FILE] [--threads N] DIR OUT (see --help)";
  std::string order, threads;
  VerbOptions table("pack", kHelp);
  table.options = {ValueOption("--order", &order, nullptr),
                   ValueOption("--threads", &threads, nullptr,
                               [](const std::string& n) { return n == "4" ? "" : "--threads takes 1 to 64"; })};
  table.minArguments = table.maxArguments = 2;
  table.usage = kUsage;
  std::string usage = std::string(kUsage) + "\n";
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string err;
  };
  const Case cases[] = {
      {{"a", "b", "--threads", "4"}, -1, ""},
      {{"a"}, 2, usage},
      {{"a", "b", "c"}, 2, usage},
      {{"--order"}, 2, usage},
      {{"--threads", "0", "--bogus"}, 2, usage},
      {{"--bogus", "a", "b"}, 2, "orv pack: unknown option --bogus\n" + usage},
  };
  for (const Case& c : cases) {
    std::string line;
    for (const std::string& a : c.args) line += " " + a;
    Outcome o = Parse(table, c.args);
    EXPECT_EQ(c.status, o.status) << line;
    EXPECT_EQ(c.err, o.err) << line;
  }
}

TEST(VerbOptions, UsageError) {
  FILE* err = tmpfile();
  EXPECT_EQ(2, UsageError("check", "one product folder expected", err));
  EXPECT_EQ("orv check: one product folder expected (see orv check --help)\n", ReadBack(err));
}

}  // namespace
