#include "tools/script_check/diagnostics.h"

#include <algorithm>

void Diagnostics::Error(const std::string& file, int line, int column, const std::string& message) {
  list_.push_back({file, line, column, Severity::kError, message});
}

void Diagnostics::Warning(const std::string& file, int line, int column, const std::string& message) {
  list_.push_back({file, line, column, Severity::kWarning, message});
}

size_t Diagnostics::ErrorCount() const {
  return std::count_if(list_.begin(), list_.end(), [](const Diagnostic& d) { return d.severity == Severity::kError; });
}

size_t Diagnostics::WarningCount() const { return list_.size() - ErrorCount(); }

bool Diagnostics::Failed(bool strict) const { return ErrorCount() > 0 || (strict && WarningCount() > 0); }

std::string Diagnostics::Format(const Diagnostic& d) {
  std::string s = d.file;
  if (d.line > 0) {
    s += ":" + std::to_string(d.line);
    if (d.column > 0) s += ":" + std::to_string(d.column);
  }
  s += d.severity == Severity::kError ? ": error: " : ": warning: ";
  return s + d.message;
}

void Diagnostics::Print(FILE* out) const {
  std::vector<Diagnostic> sorted = list_;
  std::stable_sort(sorted.begin(), sorted.end(), [](const Diagnostic& a, const Diagnostic& b) {
    if (a.file != b.file) return a.file < b.file;
    if (a.line != b.line) return a.line < b.line;
    return a.column < b.column;
  });
  for (const Diagnostic& d : sorted) fprintf(out, "%s\n", Format(d).c_str());
}
