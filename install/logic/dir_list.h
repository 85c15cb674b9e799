#pragma once
// The directory list: directories that an installation created (or adopted), to be
// removed at uninstallation, newest first, so that a directory stands before the one that
// holds it. Each entry is a NUL-terminated copy; the list owns its memory.

class DirList {
 public:
  DirList() : head_(nullptr), count_(0) {}
  ~DirList() { Clear(); }
  DirList(const DirList&) = delete;
  DirList& operator=(const DirList&) = delete;

  // Puts a copy of path at the front. False (and the list unchanged) without memory.
  bool Prepend(const char* path);
  void Clear();
  // Exchanges the entries of the two lists.
  void Swap(DirList& other) {
    Node* head = head_; head_ = other.head_; other.head_ = head;
    unsigned count = count_; count_ = other.count_; other.count_ = count;
  }
  unsigned count() const { return count_; }

  // Front-to-back iteration: for (const char* p = l.First(it); p; p = l.Next(it)) ...
  struct Cursor { const void* node; };
  const char* First(Cursor& c) const;
  const char* Next(Cursor& c) const;

 private:
  struct Node;
  Node* head_;
  unsigned count_;
};
