#pragma once
// File versions: four unsigned 32-bit numbers, most significant first (1.0.2.0 is
// {1, 0, 2, 0}), and the decimal reading shared by the version text and the file list.
// Pure logic over NUL-terminated text; no platform headers.

// The standard decimal conversion: leading white space skipped, an optional sign, then
// digits up to the first non-digit; no digits gives 0. The magnitude saturates instead of
// wrapping, and the sign applies to it as an unsigned value, as the C library's strtoul does.
// `end` (may be null) receives the first character not read.
unsigned long long ReadDecimal(const char* text, bool* negative, const char** end);
// The same over the span [text, limit): nothing at or beyond limit is read.
unsigned long long ReadDecimalSpan(const char* text, const char* limit, bool* negative, const char** end);

// ReadDecimal as a signed 32-bit number: values beyond the range clamp to INT32_MAX or
// INT32_MIN (the C library's strtol on a 32-bit long).
int ReadDecimalInt(const char* text);
int ReadDecimalInt(const char* text, const char* limit);

// ReadDecimal as an unsigned 32-bit number: a magnitude beyond the range gives 0xFFFFFFFF,
// a negative value is negated modulo 2^32 (strtoul on a 32-bit long).
unsigned ReadDecimalUnsigned(const char* text);
unsigned ReadDecimalUnsigned(const char* text, const char* limit);

// Compares two versions number by number, most significant first: the first number that
// differs decides. Returns -1 when a < b, 0 when equal, 1 when a > b.
int CompareVersions(const unsigned a[4], const unsigned b[4]);

// Reads a FileVersion string such as "1, 0, 0, 3" into four numbers: the text is split at
// commas (a run of commas is one separator, leading commas are skipped) and the first four
// fields are read with ReadDecimalUnsigned. Numbers whose field is missing are 0, so a string
// written with points ("4.00.950") reads as {4, 0, 0, 0}. Returns how many fields were read.
unsigned ParseVersionText(const char* text, unsigned version[4]);
