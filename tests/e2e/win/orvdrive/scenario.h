// orvdrive's scenario language: one step per line, a verb and its values (bare words or
// double-quoted with the escapes \\ \" \r \n \t; KEY=value, KEY~=value for a substring
// match). Pure: no Win32, unit-tested on the host.
#pragma once

#include <stddef.h>

#include <string>
#include <vector>

namespace orvdrive {

struct Arg {
  std::string key;    // empty for a positional value
  std::string value;
  bool substring;     // key~=value
  bool quoted;
};

struct Step {
  int line;
  std::string text;
  std::string verb;
  std::vector<Arg> args;
};

// One value at p (advanced past it): quoted with escapes, or a bare word up to a blank.
bool ParseValue(const char*& p, std::string& out, bool& quoted, std::string& err);
// One step line (without leading blanks), numbered no.
bool ParseLine(const std::string& line, int no, Step& step, std::string& err);
// A whole scenario: blank lines and lines starting with # are left out, trailing blanks
// and CR are cut. On an error, err says "line N: what".
bool ParseScenario(const std::string& text, std::vector<Step>& steps, std::string& err);

const Arg* Named(const Step& s, const char* key);
const Arg* Positional(const Step& s, size_t n);
// An absent want matches anything; else exactly, or as a substring for key~=value.
bool Matches(const Arg* want, const std::string& got);
// A whole decimal or 0x hex number (strtol base 0).
bool ParseInt(const std::string& s, long& v);

}  // namespace orvdrive
