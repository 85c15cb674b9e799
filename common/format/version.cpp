#include "common/format/version.h"

#include <string.h>

namespace {

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace

unsigned long long ReadDecimal(const char* text, bool* negative, const char** end) {
  return ReadDecimalSpan(text, text + strlen(text), negative, end);
}

unsigned long long ReadDecimalSpan(const char* text, const char* limit, bool* negative, const char** end) {
  const char* p = text;
  while (p < limit && IsSpace(*p)) p++;
  bool neg = false;
  if (p < limit && (*p == '+' || *p == '-')) neg = *p++ == '-';
  const unsigned long long kLimit = 0xFFFFFFFFFFull;  // far beyond 32 bits, never overflows
  unsigned long long value = 0;
  const char* digits = p;
  while (p < limit && *p >= '0' && *p <= '9') {
    if (value < kLimit) value = value * 10 + (unsigned)(*p - '0');
    p++;
  }
  if (p == digits) {  // no digits: nothing is read, not even the sign
    if (negative) *negative = false;
    if (end) *end = text;
    return 0;
  }
  if (negative) *negative = neg;
  if (end) *end = p;
  return value;
}

int ReadDecimalInt(const char* text) { return ReadDecimalInt(text, text + strlen(text)); }

int ReadDecimalInt(const char* text, const char* limit) {
  bool neg;
  unsigned long long v = ReadDecimalSpan(text, limit, &neg, nullptr);
  if (neg) return v >= 0x80000000ull ? (int)(-2147483647 - 1) : -(int)v;
  return v > 0x7FFFFFFFull ? 2147483647 : (int)v;
}

unsigned ReadDecimalUnsigned(const char* text) { return ReadDecimalUnsigned(text, text + strlen(text)); }

unsigned ReadDecimalUnsigned(const char* text, const char* limit) {
  bool neg;
  unsigned long long v = ReadDecimalSpan(text, limit, &neg, nullptr);
  if (v > 0xFFFFFFFFull) return 0xFFFFFFFFu;
  unsigned u = (unsigned)v;
  return neg ? 0u - u : u;
}

int CompareVersions(const unsigned a[4], const unsigned b[4]) {
  for (int i = 0; i < 4; i++) {
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
  }
  return 0;
}

unsigned ParseVersionText(const char* text, unsigned version[4]) {
  for (int i = 0; i < 4; i++) version[i] = 0;
  unsigned fields = 0;
  const char* p = text;
  while (fields < 4) {
    while (*p == ',') p++;
    if (!*p) break;
    version[fields++] = ReadDecimalUnsigned(p);
    while (*p && *p != ',') p++;
  }
  return fields;
}
