#include "tools/host/mapped_file.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/mman.h>
#endif

namespace {

bool SizeOf(const std::string& path, uint64_t* size, std::string* error) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) {
    *error = path + ": cannot be read: " + strerror(errno);
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    *error = path + ": cannot be read: not a regular file";
    return false;
  }
  *size = (uint64_t)st.st_size;
  return true;
}

}  // namespace

bool MappedFile::Open(const std::string& path, std::string* error) {
  uint64_t size = 0;
  return SizeOf(path, &size, error) && Open(path, size, error);
}

bool MappedFile::Open(const std::string& path, uint64_t size, std::string* error) {
  Close();
  if (size == 0) return true;
  if (size > (uint64_t)SIZE_MAX) {
    *error = path + ": cannot be read: too large for this machine's address space";
    return false;
  }
#ifdef _WIN32
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
  HANDLE mapping = file == INVALID_HANDLE_VALUE ? NULL : CreateFileMappingA(file, NULL, PAGE_READONLY, 0, 0, NULL);
  const void* map = mapping ? MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, (SIZE_T)size) : NULL;
  DWORD mapError = GetLastError();
  if (mapping) CloseHandle(mapping);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  if (!map) {
    *error = path + ": cannot be read: Windows error " + std::to_string(mapError);
    return false;
  }
#else
  int fd = open(path.c_str(), O_RDONLY);
  if (fd < 0) {
    *error = path + ": cannot be read: " + strerror(errno);
    return false;
  }
  void* map = mmap(nullptr, (size_t)size, PROT_READ, MAP_PRIVATE, fd, 0);
  int mapErrno = errno;
  close(fd);
  if (map == MAP_FAILED) {
    *error = path + ": cannot be read: " + strerror(mapErrno);
    return false;
  }
#endif
  data_ = static_cast<const uint8_t*>(map);
  size_ = (size_t)size;
  return true;
}

void MappedFile::Close() {
  if (!data_) return;
#ifdef _WIN32
  UnmapViewOfFile(data_);
#else
  munmap(const_cast<uint8_t*>(data_), size_);
#endif
  data_ = nullptr;
  size_ = 0;
}
