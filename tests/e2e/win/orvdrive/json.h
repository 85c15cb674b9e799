// The pieces of orvdrive's JSON log lines: strings escaped, numbers, booleans. Pure.
#pragma once

#include <stdio.h>

#include <string>

namespace orvdrive {

inline std::string Json(const std::string& s) {
  std::string o = "\"";
  for (unsigned char c : s) {
    if (c == '"') o += "\\\"";
    else if (c == '\\') o += "\\\\";
    else if (c == '\n') o += "\\n";
    else if (c == '\r') o += "\\r";
    else if (c == '\t') o += "\\t";
    else if (c < 0x20) {
      char b[8];
      snprintf(b, sizeof b, "\\u%04x", c);
      o += b;
    } else {
      o += (char)c;
    }
  }
  return o + "\"";
}

inline std::string Num(long long v) {
  char b[32];
  snprintf(b, sizeof b, "%lld", v);
  return b;
}

inline std::string Bool(bool b) { return b ? "true" : "false"; }

}  // namespace orvdrive
