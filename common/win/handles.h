#pragma once
// Owners of the platform handles that a step opens and must close before it returns.
// Non-copyable; each closes its handle when it goes out of scope.
#include <windows.h>

// A file handle; "no handle" is INVALID_HANDLE_VALUE, as CreateFileA returns it.
class FileHandle {
 public:
  explicit FileHandle(HANDLE h) : h_(h) {}
  ~FileHandle() { Close(); }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  bool valid() const { return h_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return h_; }
  void Close() {
    if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
    h_ = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE h_;
};

// A handle of the service control manager or of one service; "no handle" is NULL.
class ServiceHandle {
 public:
  explicit ServiceHandle(SC_HANDLE h = NULL) : h_(h) {}
  ~ServiceHandle() { Reset(NULL); }
  ServiceHandle(const ServiceHandle&) = delete;
  ServiceHandle& operator=(const ServiceHandle&) = delete;
  void Reset(SC_HANDLE h) {
    if (h_) CloseServiceHandle(h_);
    h_ = h;
  }
  SC_HANDLE get() const { return h_; }

 private:
  SC_HANDLE h_;
};
