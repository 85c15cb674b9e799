#pragma once
// Diagnostics of the publisher's tools, written as compilers write them:
//   SCRIPT:12:5: error: shortcut target 'readme.tx' is not in the payload
// collected into one list, printed sorted by file and line, the outcome decided once.
#include <stdio.h>

#include <string>
#include <vector>

enum class Severity { kWarning, kError };

struct Diagnostic {
  std::string file;  // as the publisher names it: "SCRIPT", "payload/docs/a.txt"
  int line = 0;      // 1-based; 0 when the message is about the file as a whole
  int column = 0;    // 1-based; 0 when not known
  Severity severity = Severity::kError;
  std::string message;
};

class Diagnostics {
 public:
  void Error(const std::string& file, int line, int column, const std::string& message);
  void Warning(const std::string& file, int line, int column, const std::string& message);

  // Errors, and warnings too when strict.
  bool Failed(bool strict) const;
  size_t ErrorCount() const;
  size_t WarningCount() const;
  const std::vector<Diagnostic>& All() const { return list_; }

  // "FILE:LINE:COL: error: message", one a line, sorted by file, line and column (the
  // order of adding kept among equals).
  static std::string Format(const Diagnostic& d);
  void Print(FILE* out) const;

 private:
  std::vector<Diagnostic> list_;
};
