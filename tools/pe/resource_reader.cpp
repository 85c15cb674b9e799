// The resource tree reader: where each resource of an image lies, or a copy of each.
#include "tools/pe/resource_tree.h"

#include <iterator>
#include <map>
#include <utility>

ResourceId ResourceId::Number(uint16_t id) {
  ResourceId r;
  r.id = id;
  return r;
}

ResourceId ResourceId::Name(const std::string& ascii) {
  ResourceId r;
  r.isName = true;
  for (char c : ascii) r.name.push_back((char16_t)(unsigned char)(c >= 'a' && c <= 'z' ? c - 32 : c));
  return r;
}

std::string ResourceId::Text() const {
  if (!isName) return "#" + std::to_string(id);
  std::string s;
  for (char16_t c : name) s.push_back(c < 0x80 ? (char)c : '?');
  return s;
}

bool operator<(const ResourceId& a, const ResourceId& b) {
  if (a.isName != b.isName) return a.isName;
  return a.isName ? a.name < b.name : a.id < b.id;
}

bool operator==(const ResourceId& a, const ResourceId& b) {
  return a.isName == b.isName && (a.isName ? a.name == b.name : a.id == b.id);
}

namespace {

struct Reader {
  const uint8_t* data;
  size_t size;
  const PeImage& pe;
  size_t base;   // file offset of the resource directory
  size_t limit;  // bytes of the resource section from base
  std::string* error;
  // The directories and data entries read so far, as [start, end) section offsets by start:
  // one reached twice, or overlapping another, is refused, so a tree that shares or loops
  // cannot multiply its resources beyond what its bytes hold.
  std::map<size_t, size_t> claimed;
  size_t nameUnits = 0;  // name characters copied so far, bounded by the file's size

  bool Fail(const std::string& why) {
    *error = "damaged resource directory: " + why;
    return false;
  }

  bool Claim(size_t at, size_t length, const char* what) {
    auto next = claimed.lower_bound(at);
    if (next != claimed.end() && next->first == at)
      return Fail(std::string(what) + " reached twice (a shared or looping tree)");
    if ((next != claimed.end() && next->first < at + length) ||
        (next != claimed.begin() && std::prev(next)->second > at))
      return Fail(std::string(what) + " overlapping another");
    claimed.emplace(at, at + length);
    return true;
  }

  bool Id(uint32_t field, ResourceId* id) {
    if (!(field & kResourceSubdirectory)) {
      if (field > 0xFFFF) return Fail("resource number out of range");
      *id = ResourceId::Number((uint16_t)field);
      return true;
    }
    size_t at = field & ~kResourceSubdirectory;
    if (at > limit || limit - at < 2) return Fail("name outside the resource section");
    size_t length = GetU16(data + base + at);
    if ((limit - at - 2) / 2 < length) return Fail("name outside the resource section");
    nameUnits += length;
    if (nameUnits > size) return Fail("more name characters than the file holds bytes");
    id->isName = true;
    id->id = 0;
    id->name.clear();
    for (size_t i = 0; i < length; i++) id->name.push_back((char16_t)GetU16(data + base + at + 2 + 2 * i));
    return true;
  }

  // Reads the directory at offset `at` of level 0 (types), 1 (names) or 2 (languages).
  bool Directory(size_t at, int level, ResourceSpan* path, std::vector<ResourceSpan>* out) {
    if (at > limit || limit - at < 16) return Fail("directory outside the resource section");
    size_t count = (size_t)GetU16(data + base + at + 12) + GetU16(data + base + at + 14);
    if ((limit - at - 16) / 8 < count) return Fail("directory entries outside the resource section");
    if (!Claim(at, 16 + 8 * count, "directory")) return false;
    for (size_t i = 0; i < count; i++) {
      const uint8_t* e = data + base + at + 16 + 8 * i;
      uint32_t nameField = GetU32(e), target = GetU32(e + 4);
      if (level == 0) {
        if (!Id(nameField, &path->type)) return false;
      } else if (level == 1) {
        if (!Id(nameField, &path->name)) return false;
      } else {
        if (nameField > 0xFFFF) return Fail("language out of range");
        path->language = (uint16_t)nameField;
      }
      if (level < 2) {
        if (!(target & kResourceSubdirectory)) return Fail("data where a directory belongs");
        if (!Directory(target & ~kResourceSubdirectory, level + 1, path, out)) return false;
        continue;
      }
      if (target & kResourceSubdirectory) return Fail("tree deeper than type, name and language");
      if (target > limit || limit - target < 16) return Fail("data entry outside the resource section");
      if (!Claim(target, 16, "data entry")) return false;
      const uint8_t* d = data + base + target;
      uint32_t rva = GetU32(d), length = GetU32(d + 4);
      size_t offset = 0;
      if (length && !PeRvaToOffset(pe, rva, length, &offset))
        return Fail("data of " + path->type.Text() + "/" + path->name.Text() + " outside the file");
      ResourceSpan r = *path;
      r.codePage = GetU32(d + 8);
      r.offset = offset;
      r.length = length;
      out->push_back(std::move(r));
    }
    return true;
  }
};

}  // namespace

bool ReadResourceSpans(const uint8_t* data, size_t size, const PeImage& pe, std::vector<ResourceSpan>* out,
                       std::string* error) {
  out->clear();
  if (!pe.resourceRva) return true;
  const PeSection* section = nullptr;
  for (const PeSection& s : pe.sections)
    if (pe.resourceRva >= s.va && pe.resourceRva - s.va < s.rawSize) section = &s;
  if (!section) {
    *error = "damaged resource directory: not within any section";
    return false;
  }
  Reader r{data, size, pe, (size_t)section->rawOffset + (pe.resourceRva - section->va),
           (size_t)section->rawSize - (pe.resourceRva - section->va), error, {}, 0};
  ResourceSpan path;
  return r.Directory(0, 0, &path, out);
}

bool ReadResources(const uint8_t* data, size_t size, const PeImage& pe, std::vector<Resource>* out, std::string* error) {
  out->clear();
  std::vector<ResourceSpan> spans;
  if (!ReadResourceSpans(data, size, pe, &spans, error)) return false;
  uint64_t copied = 0;
  for (const ResourceSpan& s : spans) copied += s.length;
  if (copied > size) {
    *error = "damaged resource directory: its resources share their bytes (" + std::to_string(copied) +
             " bytes of resources in a file of " + std::to_string(size) + ")";
    return false;
  }
  for (ResourceSpan& s : spans) {
    Resource r;
    r.type = std::move(s.type);
    r.name = std::move(s.name);
    r.language = s.language;
    r.codePage = s.codePage;
    r.data.assign(data + s.offset, data + s.offset + s.length);
    out->push_back(std::move(r));
  }
  return true;
}

const ResourceSpan* FindResourceSpan(const std::vector<ResourceSpan>& list, const ResourceId& type,
                                     const ResourceId& name) {
  for (const ResourceSpan& r : list)
    if (r.type == type && r.name == name) return &r;
  return nullptr;
}

const Resource* FindResourceIn(const std::vector<Resource>& list, const ResourceId& type, const ResourceId& name) {
  for (const Resource& r : list)
    if (r.type == type && r.name == name) return &r;
  return nullptr;
}
