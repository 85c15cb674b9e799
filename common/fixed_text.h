#pragma once
// A bounded, always NUL-terminated text buffer. Every operation that would not fit
// refuses and leaves the text as it was: nothing is ever cut silently or written past
// the buffer. N counts the terminator, so FixedText<260> holds at most 259 characters.
// No platform headers and no library beyond <string.h>, so it serves both programs and
// the host tests alike.
#include <string.h>

template <unsigned N>
class FixedText {
 public:
  FixedText() : len_(0) { buf_[0] = 0; }

  static constexpr unsigned capacity() { return N - 1; }
  unsigned length() const { return len_; }
  bool empty() const { return len_ == 0; }
  const char* c_str() const { return buf_; }
  operator const char*() const { return buf_; }
  char last() const { return len_ ? buf_[len_ - 1] : 0; }
  char operator[](unsigned i) const { return buf_[i]; }

  void clear() { len_ = 0; buf_[0] = 0; }
  bool Set(const char* s) { clear(); return Append(s); }
  bool Append(const char* s) { return Append(s, (unsigned)strlen(s)); }
  bool Append(const char* s, unsigned n) {
    if (n > capacity() - len_) return false;
    memmove(buf_ + len_, s, n);
    len_ += n;
    buf_[len_] = 0;
    return true;
  }
  bool AppendChar(char c) { return Append(&c, 1); }
  // Appends a backslash unless the text already ends with one.
  bool EnsureBackslash() { return last() == '\\' ? true : AppendChar('\\'); }
  // Cuts the text back to its first n characters (n not above the length).
  void Truncate(unsigned n) { if (n < len_) { len_ = n; buf_[n] = 0; } }

  // Direct access for platform calls that fill the buffer; call Sync() afterwards.
  char* data() { return buf_; }
  void Sync() { buf_[N - 1] = 0; len_ = (unsigned)strlen(buf_); }

 private:
  char buf_[N];
  unsigned len_;
};

typedef FixedText<260> PathText;
