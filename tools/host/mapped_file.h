#pragma once
// A file mapped for reading (host only): its bytes are read from the file as they are
// touched, so a file of any size takes no private memory.
#include <stddef.h>
#include <stdint.h>

#include <string>

class MappedFile {
 public:
  MappedFile() = default;
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;
  ~MappedFile() { Close(); }

  // Maps the whole file (an empty one gives size 0). False with *error ("PATH: reason").
  bool Open(const std::string& path, std::string* error);
  // Maps the first `size` bytes of the file.
  bool Open(const std::string& path, uint64_t size, std::string* error);
  void Close();

  const uint8_t* data() const { return data_; }
  size_t size() const { return size_; }

 private:
  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
};
