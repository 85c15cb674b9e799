// The payload walk and the version read of the packer (host only), used by PlanPack.
#include "tools/payload/walk.h"

#include <algorithm>

#include "tools/host/mapped_file.h"
#include "tools/payload/pack.h"
#include "tools/pe/version_info.h"

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
  MappedFile map;
  if (!map.Open(path, size, error)) return false;
  *has = PeFileVersionText(map.data(), map.size(), text);
  return true;
}
