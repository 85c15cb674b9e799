// orvdrive's scenario parser (see scenario.h).
#include "scenario.h"

#include <stdlib.h>

namespace orvdrive {

bool ParseValue(const char*& p, std::string& out, bool& quoted, std::string& err) {
  out.clear();
  quoted = false;
  if (*p == '"') {
    quoted = true;
    p++;
    while (*p && *p != '"') {
      if (*p == '\\') {
        p++;
        switch (*p) {
          case 'r': out += '\r'; break;
          case 'n': out += '\n'; break;
          case 't': out += '\t'; break;
          case '\\': out += '\\'; break;
          case '"': out += '"'; break;
          default: err = "unknown escape"; return false;
        }
        p++;
      } else {
        out += *p++;
      }
    }
    if (*p != '"') {
      err = "unterminated quote";
      return false;
    }
    p++;
    return true;
  }
  while (*p && *p != ' ' && *p != '\t') out += *p++;
  return true;
}

bool ParseLine(const std::string& line, int no, Step& step, std::string& err) {
  step.line = no;
  step.text = line;
  const char* p = line.c_str();
  while (*p == ' ' || *p == '\t') p++;
  while (*p && *p != ' ' && *p != '\t') step.verb += *p++;
  while (true) {
    while (*p == ' ' || *p == '\t') p++;
    if (!*p) break;
    Arg a;
    a.substring = false;
    const char* q = p;
    while (*q && *q != '=' && *q != ' ' && *q != '\t' && *q != '"') q++;
    if (*q == '=' && q > p) {
      a.key.assign(p, q);
      if (!a.key.empty() && a.key.back() == '~') {
        a.key.pop_back();
        a.substring = true;
      }
      p = q + 1;
    }
    if (!ParseValue(p, a.value, a.quoted, err)) return false;
    if (*p && *p != ' ' && *p != '\t') {
      err = "text after a value";
      return false;
    }
    step.args.push_back(a);
  }
  return true;
}

const Arg* Named(const Step& s, const char* key) {
  for (const Arg& a : s.args)
    if (a.key == key) return &a;
  return NULL;
}

const Arg* Positional(const Step& s, size_t n) {
  for (const Arg& a : s.args)
    if (a.key.empty() && n-- == 0) return &a;
  return NULL;
}

bool Matches(const Arg* want, const std::string& got) {
  if (!want) return true;
  return want->substring ? got.find(want->value) != std::string::npos : got == want->value;
}

bool ParseInt(const std::string& s, long& v) {
  if (s.empty()) return false;
  char* end;
  v = strtol(s.c_str(), &end, 0);
  return *end == 0;
}

bool ParseScenario(const std::string& text, std::vector<Step>& steps, std::string& err) {
  size_t pos = 0;
  int no = 0;
  while (pos < text.size()) {
    size_t nl = text.find('\n', pos);
    if (nl == std::string::npos) nl = text.size();
    std::string line = text.substr(pos, nl - pos);
    pos = nl + 1;
    no++;
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.pop_back();
    size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos || line[first] == '#') continue;
    Step s;
    if (!ParseLine(line.substr(first), no, s, err)) {
      err = "line " + std::to_string(no) + ": " + err;
      return false;
    }
    steps.push_back(s);
  }
  return true;
}

}  // namespace orvdrive
