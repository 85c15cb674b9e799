#include "tools/host/files.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#endif

namespace fs = std::filesystem;

bool ReadFileBytes(const std::string& path, std::vector<uint8_t>* out, std::string* error) {
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) {
    *error = path + ": cannot be read: " + strerror(errno);
    return false;
  }
  out->clear();
  uint8_t buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) out->insert(out->end(), buf, buf + n);
  bool bad = ferror(f);
  fclose(f);
  if (bad) *error = path + ": cannot be read";
  return !bad;
}

bool ReadFileText(const std::string& path, std::string* out, std::string* error) {
  std::vector<uint8_t> bytes;
  if (!ReadFileBytes(path, &bytes, error)) return false;
  out->assign(bytes.begin(), bytes.end());
  return true;
}

bool WriteFileWholeWith(const std::string& path, bool executable,
                        const std::function<bool(FILE*, std::string*)>& write, std::string* error) {
  std::string tmp = path + ".orv-tmp" + std::to_string(getpid());
  FILE* f = fopen(tmp.c_str(), "wb");
  if (!f) {
    *error = path + ": cannot be written: " + strerror(errno);
    return false;
  }
  std::string why;
  bool ok = write(f, &why);
  if (ok && !FlushToDisk(f)) {
    why = std::string("cannot be written: ") + strerror(errno);
    ok = false;
  }
  if (fclose(f) != 0 && ok) {
    why = std::string("cannot be written: ") + strerror(errno);
    ok = false;
  }
  if (ok && executable) chmod(tmp.c_str(), 0755);
  if (ok && !RenameOver(tmp, path)) {
    why = std::string("cannot be written: ") + strerror(errno);
    ok = false;
  }
  if (!ok) {
    *error = path + ": " + why;
    unlink(tmp.c_str());
  }
  return ok;
}

bool WriteFileWhole(const std::string& path, const std::vector<uint8_t>& data, bool executable, std::string* error) {
  return WriteFileWholeWith(
      path, executable,
      [&](FILE* f, std::string* why) {
        if (data.empty() || fwrite(data.data(), 1, data.size(), f) == data.size()) return true;
        *why = std::string("cannot be written: ") + strerror(errno);
        return false;
      },
      error);
}

bool FlushToDisk(FILE* f) {
  if (fflush(f) != 0) return false;
#ifdef _WIN32
  return _commit(_fileno(f)) == 0;
#else
  return fsync(fileno(f)) == 0;
#endif
}

bool RenameOver(const std::string& from, const std::string& to) {
#ifdef _WIN32
  if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
  errno = GetLastError() == ERROR_ACCESS_DENIED ? EACCES : EIO;
  return false;
#else
  return rename(from.c_str(), to.c_str()) == 0;
#endif
}

namespace {

// Whether two parts of a path name the same directory: on Windows, whose names ignore case,
// "Payload" is "payload".
bool SamePart(const fs::path& a, const fs::path& b) {
#ifdef _WIN32
  return _wcsicmp(a.c_str(), b.c_str()) == 0;
#else
  return a == b;
#endif
}

}  // namespace

bool PathInside(const fs::path& path, const fs::path& dir) {
  std::error_code ec;
  fs::path p = fs::weakly_canonical(fs::absolute(path, ec), ec);
  fs::path d = fs::weakly_canonical(fs::absolute(dir, ec), ec);
  auto pi = p.begin(), di = d.begin();
  for (; di != d.end(); ++di, ++pi) {
    if (di->empty()) continue;
    if (pi == p.end() || !SamePart(*pi, *di)) return false;
  }
  return true;
}

bool FileSizeAndTime(const fs::path& p, uint64_t* size, int64_t* seconds, long* nanoseconds, std::string* why) {
#ifdef _WIN32
  WIN32_FILE_ATTRIBUTE_DATA a;
  if (!GetFileAttributesExW(p.c_str(), GetFileExInfoStandard, &a)) {
    *why = "Windows error " + std::to_string(GetLastError());
    return false;
  }
  *size = (uint64_t)a.nFileSizeHigh << 32 | a.nFileSizeLow;
  uint64_t ticks = (uint64_t)a.ftLastWriteTime.dwHighDateTime << 32 | a.ftLastWriteTime.dwLowDateTime;
  const int64_t kEpochDifference = 11644473600;  // seconds from 1601-01-01 to 1970-01-01
  *seconds = (int64_t)(ticks / 10000000) - kEpochDifference;
  *nanoseconds = (long)(ticks % 10000000) * 100;
#else
  struct stat st;
  if (stat(p.c_str(), &st) != 0) {
    *why = strerror(errno);
    return false;
  }
  *size = (uint64_t)st.st_size;
  *seconds = st.st_mtim.tv_sec;
  *nanoseconds = st.st_mtim.tv_nsec;
#endif
  return true;
}
