// The resource tree reader: where each resource of an image lies, or a copy of each.
#include "tools/pe/resource_tree.h"

#include <algorithm>
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

// The bytes of a resource tree: `limit` bytes from the file offset `base`, tree offsets
// counted from base; every read is checked with Has first.
struct TreeBytes {
  const uint8_t* data;
  size_t base;
  size_t limit;

  bool Has(size_t at, size_t length) const { return at <= limit && limit - at >= length; }
  uint32_t U16(size_t at) const { return GetU16(data + base + at); }
  uint32_t U32(size_t at) const { return GetU32(data + base + at); }
  // A directory's entries: those with names, then those with numbers.
  size_t Named(size_t dir) const { return U16(dir + 12); }
  size_t Count(size_t dir) const { return Named(dir) + U16(dir + 14); }
  static size_t Entry(size_t dir, size_t i) { return dir + 16 + 8 * i; }
};

// Where the resource tree begins: whole, in the last section whose raw data hold its
// address (a section before it may claim more raw data than it maps: the one the writer
// appends comes last), the tree ending with that section's raw data; leniently, in the
// first, the tree ending only with the file.
bool ResourceTree(const uint8_t* data, size_t size, const PeImage& pe, PeParse mode, TreeBytes* tree) {
  const PeSection* section = PeSectionOf(pe, pe.resourceRva);
  if (mode == PeParse::kWhole)
    for (const PeSection& s : pe.sections)
      if (pe.resourceRva >= s.va && pe.resourceRva - s.va < s.rawSize) section = &s;
  if (!section) return false;
  size_t into = pe.resourceRva - section->va;
  size_t base = (size_t)section->rawOffset + into;
  if (base > size) return false;
  size_t limit = size - base;
  if (mode == PeParse::kWhole) limit = std::min(limit, (size_t)section->rawSize - into);
  *tree = {data, base, limit};
  return true;
}

struct Reader {
  TreeBytes t;
  size_t size;
  const PeImage& pe;
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
    if (!t.Has(at, 2)) return Fail("name outside the resource section");
    size_t length = t.U16(at);
    if (!t.Has(at + 2, 2 * length)) return Fail("name outside the resource section");
    nameUnits += length;
    if (nameUnits > size) return Fail("more name characters than the file holds bytes");
    id->isName = true;
    id->id = 0;
    id->name.clear();
    for (size_t i = 0; i < length; i++) id->name.push_back((char16_t)t.U16(at + 2 + 2 * i));
    return true;
  }

  // Reads the directory at offset `at` of level 0 (types), 1 (names) or 2 (languages).
  bool Directory(size_t at, int level, ResourceSpan* path, std::vector<ResourceSpan>* out) {
    if (!t.Has(at, 16)) return Fail("directory outside the resource section");
    size_t count = t.Count(at);
    if (!t.Has(at + 16, 8 * count)) return Fail("directory entries outside the resource section");
    if (!Claim(at, 16 + 8 * count, "directory")) return false;
    for (size_t i = 0; i < count; i++) {
      size_t e = TreeBytes::Entry(at, i);
      uint32_t nameField = t.U32(e), target = t.U32(e + 4);
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
      if (!t.Has(target, 16)) return Fail("data entry outside the resource section");
      if (!Claim(target, 16, "data entry")) return false;
      uint32_t rva = t.U32(target), length = t.U32(target + 4);
      size_t offset = 0;
      if (length && (!PeRvaToOffset(pe, rva, length, &offset) || offset > size || size - offset < length))
        return Fail("data of " + path->type.Text() + "/" + path->name.Text() + " outside the file");
      ResourceSpan r = *path;
      r.codePage = t.U32(target + 8);
      r.offset = offset;
      r.length = length;
      out->push_back(std::move(r));
    }
    return true;
  }
};

// In the directory at `dir`: the target of the first numbered entry whose number is the
// first of `wanted` present, else (when orFirst) of the directory's first entry. False when
// there is none, or when the directory or an entry looked at before it lies outside the bytes.
bool Choose(const TreeBytes& t, size_t dir, const std::vector<uint16_t>& wanted, bool orFirst, uint32_t* target) {
  if (!t.Has(dir, 16)) return false;
  size_t named = t.Named(dir), count = t.Count(dir);
  for (uint16_t want : wanted)
    for (size_t i = named; i < count; i++) {
      size_t e = TreeBytes::Entry(dir, i);
      if (!t.Has(e, 8)) return false;
      if (t.U32(e) == want) {
        *target = t.U32(e + 4);
        return true;
      }
    }
  if (!orFirst || count == 0 || !t.Has(TreeBytes::Entry(dir, 0), 8)) return false;
  *target = t.U32(TreeBytes::Entry(dir, 0) + 4);
  return true;
}

}  // namespace

bool ReadResourceSpans(const uint8_t* data, size_t size, const PeImage& pe, std::vector<ResourceSpan>* out,
                       std::string* error) {
  out->clear();
  if (!pe.resourceRva) return true;
  TreeBytes tree;
  if (!ResourceTree(data, size, pe, PeParse::kWhole, &tree)) {
    *error = "damaged resource directory: not within any section";
    return false;
  }
  Reader r{tree, size, pe, error, {}, 0};
  ResourceSpan path;
  return r.Directory(0, 0, &path, out);
}

bool LocateResource(const uint8_t* data, size_t size, const PeImage& pe, const ResourcePath& path, size_t* offset,
                    uint32_t* length) {
  TreeBytes t;
  uint32_t at;
  if (!pe.resourceRva || !ResourceTree(data, size, pe, PeParse::kLenient, &t)) return false;
  if (!Choose(t, 0, {path.type}, false, &at) || !(at & kResourceSubdirectory)) return false;
  if (!Choose(t, at & ~kResourceSubdirectory, path.names, true, &at) || !(at & kResourceSubdirectory)) return false;
  if (!Choose(t, at & ~kResourceSubdirectory, path.languages, true, &at) || (at & kResourceSubdirectory)) return false;
  // The data entry's address and size; its code page is not needed.
  if (!t.Has(at, 8)) return false;
  const PeSection* section = PeSectionOf(pe, t.U32(at));
  if (!section) return false;
  *offset = (size_t)section->rawOffset + (t.U32(at) - section->va);
  *length = t.U32(at + 4);
  return *offset <= size && size - *offset >= *length;
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
