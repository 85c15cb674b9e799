#include "tools/payload/pack.h"

#include <errno.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "common/format/version.h"
#include "tools/host/files.h"
#include "tools/payload/file_time.h"
#include "tools/payload/names.h"
#include "tools/payload/walk.h"

namespace fs = std::filesystem;

namespace {

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
    if (IsDeviceName(part)) return "has a part that Windows reserves for a device ('" + part + "')";
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

}  // namespace

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
    std::string u = UpperAscii(n);
    if (seen.count(u)) {
      *error = n + ": the same name as " + seen[u] + " on Windows, where names ignore case";
      return false;
    }
    seen[u] = n;
  }
  for (const std::string& n : names) {
    for (size_t s = n.find('\\'); s != std::string::npos; s = n.find('\\', s + 1)) {
      std::string u = UpperAscii(n.substr(0, s));
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
