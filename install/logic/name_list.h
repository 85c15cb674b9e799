#pragma once
// The driver name list: names in the order they were added, each with its terminator,
// in one block that grows as needed.

class NameList {
 public:
  NameList() : data_(nullptr), used_(0), cap_(0), count_(0) {}
  ~NameList() { Clear(); }
  NameList(const NameList&) = delete;
  NameList& operator=(const NameList&) = delete;

  // False (and the list unchanged) without memory.
  bool Append(const char* name);
  void Clear();
  unsigned count() const { return count_; }

  // Iteration: for (const char* n = l.First(); n; n = l.Next(n)) ...
  const char* First() const { return count_ ? data_ : nullptr; }
  const char* Next(const char* name) const;

 private:
  char* data_;
  unsigned used_, cap_, count_;
};
