#pragma once
// The install script: a positional, line-oriented text read strictly forwards by one
// cursor. Everything here works in place on one writable copy of the text (followed by a
// NUL): lines and fields are views into that copy, cut by writing terminators over line
// ends, comment starts and commas. No platform headers: the installer and the host tests
// share this code.

// The cursor over the script text.
class ScriptCursor {
 public:
  ScriptCursor() : pos_(nullptr), end_(nullptr) {}
  // text holds size bytes followed by a NUL; it must stay valid and writable for as long
  // as the lines handed out are used.
  void Reset(char* text, unsigned size) { pos_ = text; end_ = text + size; }

  // The next line with its comment removed, or nullptr when the script is exhausted.
  // A line runs up to the next CR; the LF of a CR LF pair is skipped with it, but a
  // character after a lone CR starts the next line. The comment is everything from the
  // line's last ';' on, together with the TABs directly before it.
  char* Next();

 private:
  char* pos_;
  char* end_;
};

// True when line is the "." that ends a list: exactly one full stop, nothing else.
bool IsListEnd(const char* line);

// The token split: fields are the maximal runs of characters other than ','; empty fields
// are skipped. Each Next() cuts the line at the comma after the field it returns, so after
// the first call the line reads as its first field alone.
class TokenSplit {
 public:
  explicit TokenSplit(char* line) : pos_(line) {}
  // The next field, or nullptr when the line holds no further field.
  char* Next();

 private:
  char* pos_;
};

// The first-comma split: cuts line at its first ',' and returns the rest after it (which
// may hold further commas), or nullptr when the line holds no comma (line is left whole).
char* SplitFirstComma(char* line);

// The two-comma split: fields[0] is the text before the first ',', fields[1] the text
// between the first and the second, fields[2] the whole rest after the second. Returns the
// number of fields the line has (1 without a comma, 2 with one, 3 with two or more); the
// fields it does not have are set to the empty text at the end of the line.
int SplitTwoCommas(char* line, char* fields[3]);

// A decimal number as the script writes them: leading white space skipped, an optional
// sign, then digits up to the first non-digit; no digits reads as 0. Values beyond the
// signed 32-bit range clamp to its ends (the C library's atoi on a 32-bit system).
int ReadScriptNumber(const char* field);
