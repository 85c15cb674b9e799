#pragma once
// The uninstaller's error text: every failure while removing, one entry per line, shown in
// one box at the end. A store of 1024 bytes holding at most 1022 characters; an entry that
// would not fit is dropped whole and silently, and a later, shorter entry may still fit.

class ErrorText {
 public:
  static const unsigned kStoreSize = 1024;
  // An entry is accepted only while the text stays below this many characters.
  static const unsigned kLengthLimit = 1023;

  ErrorText() { Clear(); }

  void Clear() {
    length_ = 0;
    text_[0] = 0;
  }

  // Appends message, subject and CR LF when the new length stays below kLengthLimit;
  // otherwise leaves the text as it was. A NULL subject counts as empty. True when added.
  bool AddErrorText(const char* message, const char* subject);

  const char* c_str() const { return text_; }
  unsigned length() const { return length_; }
  bool empty() const { return length_ == 0; }

 private:
  char text_[kStoreSize];
  unsigned length_;
};
