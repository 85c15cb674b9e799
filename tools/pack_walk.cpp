// The payload walk and the version read of the packer (host only), used by PlanPack.
#include "tools/pack_walk.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <unistd.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/mman.h>
#endif

#include <algorithm>

#include "tools/pack.h"

namespace fs = std::filesystem;

namespace {

// A name as the file list has it: backslashes between the parts.
std::string Join(const std::string& rel, const std::string& name) { return rel.empty() ? name : rel + "\\" + name; }

bool Inside(const fs::path& root, const fs::path& real) {
  std::string r = real.lexically_relative(root).generic_string();
  return !r.empty() && r != ".." && r.compare(0, 3, "../") != 0;
}

}  // namespace

// A link to a directory that holds it would never end: it is refused.
bool WalkPayload(const fs::path& root, const fs::path& dir, const std::string& rel, std::vector<fs::path>* chain,
                 std::map<std::string, fs::path>* files, std::string* error) {
  std::error_code ec;
  std::vector<fs::path> entries;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) entries.push_back(it->path());
  if (ec) {
    *error = (rel.empty() ? root.string() : rel) + ": cannot be listed: " + ec.message();
    return false;
  }
  std::sort(entries.begin(), entries.end());
  for (const fs::path& p : entries) {
    std::string leaf = p.filename().string();
    std::string name = Join(rel, leaf);
    if (leaf.find('\\') != std::string::npos) {
      *error = name + ": holds '\\', which Windows reads as a separator between directory names";
      return false;
    }
    fs::file_status own = fs::symlink_status(p, ec);
    if (ec) {
      *error = name + ": cannot be examined: " + ec.message();
      return false;
    }
    fs::path real = p;
    if (fs::is_symlink(own)) {
      real = fs::canonical(p, ec);
      if (ec) {
        *error = name + ": a link that leads nowhere";
        return false;
      }
      if (!Inside(root, real) && real != root) {
        *error = name + ": leads out of the payload directory (to " + real.string() + ")";
        return false;
      }
    }
    fs::file_status st = fs::status(p, ec);
    if (ec) {
      *error = name + ": cannot be examined: " + ec.message();
      return false;
    }
    if (fs::is_directory(st)) {
      real = fs::canonical(p, ec);
      if (ec) {
        *error = name + ": cannot be examined: " + ec.message();
        return false;
      }
      // By path, and by identity: on Windows canonical() leaves some links unresolved.
      bool loop = std::find(chain->begin(), chain->end(), real) != chain->end();
      for (size_t i = 0; !loop && i < chain->size(); i++) loop = fs::equivalent((*chain)[i], p, ec);
      if (loop) {
        *error = name + ": a link to a directory that holds it, which would repeat for ever";
        return false;
      }
      chain->push_back(real);
      bool ok = WalkPayload(root, p, name, chain, files, error);
      chain->pop_back();
      if (!ok) return false;
    } else if (fs::is_regular_file(st)) {
      (*files)[name] = p;
    } else {
      *error = name + ": not a regular file";
      return false;
    }
  }
  return true;
}

bool PackFileVersion(const std::string& path, uint64_t size, bool* has, std::string* text, std::string* error) {
  *has = false;
  if (size == 0) return true;
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
  *has = PeFileVersionText(static_cast<const uint8_t*>(map), (size_t)size, text);
  UnmapViewOfFile(map);
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
  *has = PeFileVersionText(static_cast<const uint8_t*>(map), (size_t)size, text);
  munmap(map, (size_t)size);
#endif
  return true;
}
