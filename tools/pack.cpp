#include "tools/pack.h"

#include <errno.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#endif

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "install/logic/version.h"
#include "tools/pack_walk.h"

namespace fs = std::filesystem;

namespace {

// --- PE files -------------------------------------------------------------------------------

struct Bytes {
  const uint8_t* d;
  size_t n;
  bool U16(size_t off, uint32_t* v) const {
    if (off > n || n - off < 2) return false;
    *v = d[off] | d[off + 1] << 8;
    return true;
  }
  bool U32(size_t off, uint32_t* v) const {
    if (off > n || n - off < 4) return false;
    *v = (uint32_t)d[off] | (uint32_t)d[off + 1] << 8 | (uint32_t)d[off + 2] << 16 | (uint32_t)d[off + 3] << 24;
    return true;
  }
};

struct Section {
  uint32_t va, rawSize, rawOffset;
};

bool RvaToOffset(const std::vector<Section>& sections, uint32_t rva, size_t* off) {
  for (const Section& s : sections) {
    if (rva >= s.va && rva - s.va < s.rawSize) {
      *off = (size_t)s.rawOffset + (rva - s.va);
      return true;
    }
  }
  return false;
}

// One directory of the resource tree: picks the entry with the wanted id, or when prefer
// lists several, the first of them present, or failing all, the first entry.
bool ResourceEntry(const Bytes& b, size_t rsrc, size_t dir, const std::vector<uint32_t>& prefer, bool anyIfNone,
                   uint32_t* target) {
  uint32_t named, ids;
  if (!b.U16(dir + 12, &named) || !b.U16(dir + 14, &ids)) return false;
  size_t first = dir + 16;
  size_t count = named + ids;
  for (uint32_t want : prefer) {
    for (size_t i = named; i < count; i++) {
      uint32_t id, off;
      if (!b.U32(first + 8 * i, &id) || !b.U32(first + 8 * i + 4, &off)) return false;
      if (id == want) {
        *target = off;
        return true;
      }
    }
  }
  if (!anyIfNone || count == 0) return false;
  return b.U32(first + 4, target);
}

bool VersionResource(const Bytes& b, size_t* off, size_t* len) {
  uint32_t lfanew, sig, sections, optSize, magic;
  if (b.n < 64 || b.d[0] != 'M' || b.d[1] != 'Z') return false;
  if (!b.U32(0x3C, &lfanew) || !b.U32(lfanew, &sig) || sig != 0x00004550) return false;
  size_t coff = (size_t)lfanew + 4;
  if (!b.U16(coff + 2, &sections) || !b.U16(coff + 16, &optSize)) return false;
  size_t opt = coff + 20;
  if (!b.U16(opt, &magic)) return false;
  size_t dirs, countAt;
  if (magic == 0x10B) {
    countAt = opt + 92;
    dirs = opt + 96;
  } else if (magic == 0x20B) {
    countAt = opt + 108;
    dirs = opt + 112;
  } else {
    return false;
  }
  uint32_t dirCount, rsrcRva;
  if (!b.U32(countAt, &dirCount) || dirCount < 3 || dirs + 24 > opt + optSize) return false;
  if (!b.U32(dirs + 16, &rsrcRva) || rsrcRva == 0) return false;
  std::vector<Section> table;
  for (size_t i = 0; i < sections; i++) {
    size_t s = opt + optSize + 40 * i;
    Section sec;
    if (!b.U32(s + 12, &sec.va) || !b.U32(s + 16, &sec.rawSize) || !b.U32(s + 20, &sec.rawOffset)) return false;
    table.push_back(sec);
  }
  size_t rsrc;
  if (!RvaToOffset(table, rsrcRva, &rsrc)) return false;
  // Type RT_VERSION (16), then name 1 or the first, then the neutral, US or UK English
  // language or the first.
  uint32_t t;
  if (!ResourceEntry(b, rsrc, rsrc, {16}, false, &t) || !(t & 0x80000000u)) return false;
  if (!ResourceEntry(b, rsrc, rsrc + (t & 0x7FFFFFFFu), {1}, true, &t) || !(t & 0x80000000u)) return false;
  if (!ResourceEntry(b, rsrc, rsrc + (t & 0x7FFFFFFFu), {0, 0x409, 0x809}, true, &t) || (t & 0x80000000u)) return false;
  uint32_t dataRva, dataSize;
  if (!b.U32(rsrc + t, &dataRva) || !b.U32(rsrc + t + 4, &dataSize)) return false;
  if (!RvaToOffset(table, dataRva, off) || *off > b.n || b.n - *off < dataSize) return false;
  *len = dataSize;
  return true;
}

// A block of the version resource: length, value length, type, key, value, children.
struct Block {
  size_t start, end;          // the block, within the resource
  std::u16string key;
  size_t value, valueEnd;     // the value's bytes
  size_t children;            // first child
};

size_t Align4(size_t x) { return (x + 3) & ~(size_t)3; }

bool ReadBlock(const Bytes& b, size_t start, size_t limit, Block* out) {
  uint32_t length, valueLength, type;
  if (start + 6 > limit || !b.U16(start, &length) || !b.U16(start + 2, &valueLength) || !b.U16(start + 4, &type))
    return false;
  if (length < 6 || length > limit - start) return false;
  out->start = start;
  out->end = start + length;
  out->key.clear();
  size_t p = start + 6;
  for (;;) {
    uint32_t c;
    if (p + 2 > out->end || !b.U16(p, &c)) return false;
    p += 2;
    if (!c) break;
    out->key.push_back((char16_t)c);
  }
  p = Align4(p);
  out->value = std::min(p, out->end);
  size_t bytes = type == 1 ? 2 * (size_t)valueLength : valueLength;
  out->valueEnd = std::min(out->value + bytes, out->end);
  out->children = std::min(Align4(out->valueEnd), out->end);
  return true;
}

bool KeyIs(const std::u16string& key, const char* want) {
  size_t n = strlen(want);
  if (key.size() != n) return false;
  for (size_t i = 0; i < n; i++) {
    char16_t a = key[i], c = (unsigned char)want[i];
    if (a >= 'a' && a <= 'z') a = (char16_t)(a - 32);
    if (c >= 'a' && c <= 'z') c = (char16_t)(c - 32);
    if (a != c) return false;
  }
  return true;
}

// The children of a block, as (start) offsets.
std::vector<Block> Children(const Bytes& b, const Block& parent) {
  std::vector<Block> out;
  size_t p = parent.children;
  while (p + 6 <= parent.end) {
    Block child;
    if (!ReadBlock(b, p, parent.end, &child)) break;
    out.push_back(child);
    p = Align4(child.end);
  }
  return out;
}

bool FindFileVersion(const Bytes& b, const Block& root, const char* table, std::string* text) {
  for (const Block& info : Children(b, root)) {
    if (!KeyIs(info.key, "StringFileInfo")) continue;
    for (const Block& t : Children(b, info)) {
      if (!KeyIs(t.key, table)) continue;
      for (const Block& s : Children(b, t)) {
        if (!KeyIs(s.key, "FileVersion")) continue;
        text->clear();
        for (size_t p = s.value; p + 2 <= s.end; p += 2) {
          uint32_t c = 0;
          if (!b.U16(p, &c) || !c) break;
          text->push_back(c < 0x80 ? (char)c : '?');
        }
        return true;
      }
    }
  }
  return false;
}

// --- Names -----------------------------------------------------------------------------------

std::string Upper(const std::string& s) {
  std::string u = s;
  for (char& c : u) {
    if (c >= 'a' && c <= 'z') c = (char)(c - 32);
  }
  return u;
}

bool ReservedDeviceName(const std::string& part) {
  std::string base = Upper(part.substr(0, part.find('.')));
  static const char* names[] = {"CON", "PRN", "AUX", "NUL"};
  for (const char* n : names) {
    if (base == n) return true;
  }
  if (base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) && base[3] >= '1' &&
      base[3] <= '9')
    return true;
  return false;
}

std::string Hex8(uint32_t v) {
  char b[9];
  snprintf(b, sizeof b, "%08X", v);
  return b;
}

bool WriteTemp(const std::string& path, const void* data, size_t size, std::string* error) {
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) {
    *error = path + ": cannot be created: " + strerror(errno);
    return false;
  }
  bool ok = fwrite(data, 1, size, f) == size;
  ok = FlushToDisk(f) && ok;
  ok = fclose(f) == 0 && ok;
  if (!ok) {
    *error = path + ": cannot be written: " + strerror(errno);
    unlink(path.c_str());
  }
  return ok;
}

}  // namespace

bool PeFileVersionText(const uint8_t* data, size_t size, std::string* text) {
  Bytes b = {data, size};
  size_t off, len;
  if (!VersionResource(b, &off, &len)) return false;
  Bytes v = {data + off, len};
  Block root;
  if (!ReadBlock(v, 0, len, &root) || !KeyIs(root.key, "VS_VERSION_INFO")) return false;
  return FindFileVersion(v, root, "080904B0", text) || FindFileVersion(v, root, "040904B0", text);
}

std::string CheckPackName(const std::string& name) {
  if (name.empty()) return "an empty name";
  if (name.size() > kPackMaxNameLength)
    return "longer than " + std::to_string(kPackMaxNameLength) +
           " characters (the installer's paths hold 259 characters including the installation directory)";
  for (unsigned char c : name) {
    if (c == ',') return "holds a comma (the file list ends a name at its first comma)";
    if (c < 32 || c == 127) return "holds a control character";
    if (c >= 128) return "holds a character beyond ASCII (the installer's names are 8-bit ANSI)";
    if (strchr("<>:\"|?*/", c)) return std::string("holds '") + (char)c + "', which Windows does not allow in names";
  }
  size_t start = 0;
  for (;;) {
    size_t end = name.find('\\', start);
    std::string part = name.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (part.empty()) return "has an empty part between backslashes";
    if (part == "." || part == "..") return "leaves the payload directory or names a directory as '" + part + "'";
    if (part.back() == '.' || part.back() == ' ')
      return "has a part ending with '.' or a blank, which Windows drops from names";
    if (ReservedDeviceName(part)) return "has a part that Windows reserves for a device ('" + part + "')";
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return "";
}

std::string FileListLine(const PackEntry& e, std::string* error) {
  std::string why = CheckPackName(e.name);
  if (!why.empty()) {
    *error = e.name + ": " + why;
    return "";
  }
  if (e.size > 0x7FFFFFFFu) {
    *error = e.name + ": larger than 2147483647 bytes, the largest size the file list holds";
    return "";
  }
  if (e.hasVersion) {
    if (e.size == 0) {
      *error = e.name + ": an empty file with a version (the installer refuses a version entry of size 0)";
      return "";
    }
    return e.name + "," + std::to_string(e.size) + "," + std::to_string(e.version[0]) + "," +
           std::to_string(e.version[1]) + "," + std::to_string(e.version[2]) + "," + std::to_string(e.version[3]);
  }
  return e.name + "," + std::to_string(e.size) + "." + Hex8((uint32_t)e.fileTime) + "," +
         Hex8((uint32_t)(e.fileTime >> 32));
}

uint64_t FileTimeFromUnix(int64_t seconds, long nanoseconds) {
  const int64_t kEpochDifference = 11644473600;  // seconds from 1601-01-01 to 1970-01-01
  return (uint64_t)(seconds + kEpochDifference) * 10000000u + (uint64_t)(nanoseconds / 100);
}

std::vector<std::string> ParseOrderList(const std::string& text) {
  std::vector<std::string> names;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    size_t a = line.find_first_not_of(" \t\r");
    if (a == std::string::npos || line[a] == '#') continue;
    size_t b = line.find_last_not_of(" \t\r");
    std::string name = line.substr(a, b - a + 1);
    std::replace(name.begin(), name.end(), '/', '\\');
    names.push_back(name);
  }
  return names;
}

namespace {

// Renames DATA, then FILELIST, into place. The new DATA does not belong to the old FILELIST:
// when the list cannot follow, the new DATA is taken away rather than left as a pair that
// disagrees.
bool PutPairInPlace(const std::string& listTemp, const std::string& listPath, const std::string& dataTemp,
                    const std::string& dataPath, std::string* error) {
  if (!RenameOver(dataTemp, dataPath)) {
    *error = dataPath + ": cannot be put in place: " + strerror(errno);
    unlink(listTemp.c_str());
    unlink(dataTemp.c_str());
    return false;
  }
  if (!RenameOver(listTemp, listPath)) {
    *error = listPath + ": cannot be put in place: " + strerror(errno);
    unlink(listTemp.c_str());
    unlink(dataPath.c_str());
    return false;
  }
  return true;
}

// A file's size and last-write time (POSIX seconds and nanoseconds). On Windows the time is
// the file's FILETIME itself, taken apart again: FileTimeFromUnix gives back the same ticks.
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

}  // namespace

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

std::string PackFileTime(int64_t seconds, long nanoseconds, uint64_t* fileTime, bool* nudged) {
  const int64_t kEpochDifference = 11644473600;  // seconds from 1601-01-01 to 1970-01-01
  const int64_t kLastSecond = INT64_MAX / 10000000 - kEpochDifference - 1;
  *nudged = false;
  if (seconds < -kEpochDifference) return "its time is before 1601, which a file time cannot hold";
  if (seconds > kLastSecond) return "its time is beyond the year 30000, which a file time cannot hold";
  uint64_t t = FileTimeFromUnix(seconds, nanoseconds);
  if ((t >> 32) == 0)
    return "its time lies in the first minutes of 1601, which the installer cannot tell from no time";
  if ((uint32_t)t == 0) {
    // The installer takes a low half of 0 for "no time" and would always overwrite the file.
    t++;
    *nudged = true;
  }
  *fileTime = t;
  return "";
}

bool PlanPack(const std::string& dirName, const std::vector<std::string>& order, PackPlan* plan, std::string* error) {
  std::error_code ec;
  fs::path dir = fs::canonical(dirName, ec);
  if (ec || !fs::is_directory(dir, ec)) {
    *error = dirName + ": not a directory";
    return false;
  }

  // Every file under the directory, by its relative name with backslashes.
  std::map<std::string, fs::path> files;
  std::vector<fs::path> chain = {dir};
  if (!WalkPayload(dir, dir, "", &chain, &files, error)) return false;

  // The order list first, then the rest sorted.
  std::vector<std::string> names;
  std::map<std::string, bool> listed;
  for (const std::string& n : order) {
    std::string why = CheckPackName(n);
    if (!why.empty()) {
      *error = "order list: " + n + ": " + why;
      return false;
    }
    if (!files.count(n)) {
      *error = "order list: " + n + ": no such file in " + dirName;
      return false;
    }
    if (listed[n]) {
      *error = "order list: " + n + ": listed twice";
      return false;
    }
    listed[n] = true;
    names.push_back(n);
  }
  for (const auto& f : files) {
    if (!listed.count(f.first)) names.push_back(f.first);
  }
  if (names.empty()) {
    *error = dirName + ": no files to pack (the file list needs at least one entry)";
    return false;
  }

  // Windows names ignore case: two names that differ only in case, or a file whose name is
  // also a directory of another, would land on the same place.
  std::map<std::string, std::string> seen;
  for (const std::string& n : names) {
    std::string u = Upper(n);
    if (seen.count(u)) {
      *error = n + ": the same name as " + seen[u] + " on Windows, where names ignore case";
      return false;
    }
    seen[u] = n;
  }
  for (const std::string& n : names) {
    for (size_t s = n.find('\\'); s != std::string::npos; s = n.find('\\', s + 1)) {
      std::string u = Upper(n.substr(0, s));
      if (seen.count(u)) {
        *error = n + ": its directory " + n.substr(0, s) + " is also the file " + seen[u];
        return false;
      }
    }
  }

  std::string list;
  plan->entries.clear();
  plan->hostPaths.clear();
  plan->warnings.clear();
  plan->dataSize = 0;
  for (const std::string& n : names) {
    const fs::path& p = files[n];
    int64_t seconds;
    long nanoseconds;
    std::string why;
    PackEntry e;
    if (!FileSizeAndTime(p, &e.size, &seconds, &nanoseconds, &why)) {
      *error = n + ": cannot be examined: " + why;
      return false;
    }
    e.name = n;
    e.fileTime = 0;
    std::string text;
    if (!PackFileVersion(p.string(), e.size, &e.hasVersion, &text, error)) return false;
    ParseVersionText(text.c_str(), e.version);
    if (!e.hasVersion) {
      // Only the time form carries the time: a file with a version is judged by it alone.
      bool nudged = false;
      why = PackFileTime(seconds, nanoseconds, &e.fileTime, &nudged);
      if (!why.empty()) {
        *error = n + ": " + why;
        return false;
      }
      if (nudged)
        plan->warnings.push_back(n + ": its time has a low half of 00000000, which the installer reads as no time; "
                                     "packed with a time one 100-ns tick later");
    }
    std::string line = FileListLine(e, error);
    if (line.empty()) return false;
    list += line + "\r\n";
    plan->dataSize += e.size;
    if (plan->dataSize > 0xFFFFFFFFu) {
      *error = "the payload is larger than the 4294967295 bytes that the SZDD header can state";
      return false;
    }
    plan->entries.push_back(e);
    plan->hostPaths.push_back(p.string());
  }
  if (plan->dataSize == 0) {
    *error = "every file is empty: the installer refuses a payload of 0 bytes";
    return false;
  }
  plan->fileList = list;
  return true;
}

bool WritePlannedOutputs(const std::string& outDir, const PackPlan& plan, const PackOptions& options,
                         std::string* error) {
  std::error_code ec;
  if (!fs::is_directory(outDir, ec)) {
    *error = outDir + ": not a directory";
    return false;
  }
  std::string pid = std::to_string(getpid());
  std::string listPath = outDir + "/FILELIST", dataPath = outDir + "/DATA";
  std::string listTemp = listPath + ".tmp" + pid, dataTemp = dataPath + ".tmp" + pid;
  if (!WriteTemp(listTemp, plan.fileList.data(), plan.fileList.size(), error)) return false;
  if (!WritePackData(plan, options, dataTemp, error)) {
    unlink(listTemp.c_str());
    return false;
  }
  return PutPairInPlace(listTemp, listPath, dataTemp, dataPath, error);
}

bool WritePackOutputs(const std::string& outDir, const PackResult& result, std::string* error) {
  std::error_code ec;
  if (!fs::is_directory(outDir, ec)) {
    *error = outDir + ": not a directory";
    return false;
  }
  std::string pid = std::to_string(getpid());
  std::string listPath = outDir + "/FILELIST", dataPath = outDir + "/DATA";
  std::string listTemp = listPath + ".tmp" + pid, dataTemp = dataPath + ".tmp" + pid;
  if (!WriteTemp(listTemp, result.fileList.data(), result.fileList.size(), error)) return false;
  if (!WriteTemp(dataTemp, result.data.data(), result.data.size(), error)) {
    unlink(listTemp.c_str());
    return false;
  }
  return PutPairInPlace(listTemp, listPath, dataTemp, dataPath, error);
}
