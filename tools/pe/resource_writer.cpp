// The resource tree writer: a new resource section laid out from a list, and an image
// written with it.
#include "tools/pe/resource_tree.h"

#include <string.h>

#include <algorithm>
#include <map>
#include <utility>

void SetResource(std::vector<Resource>* list, Resource resource) {
  list->erase(std::remove_if(list->begin(), list->end(),
                             [&](const Resource& r) { return r.type == resource.type && r.name == resource.name; }),
              list->end());
  list->push_back(std::move(resource));
}

namespace {

size_t Align(size_t v, size_t a) { return (v + a - 1) / a * a; }

// The bytes a section takes in memory, as the loader counts them: its virtual size, or its
// raw size when the virtual size is 0.
uint32_t Extent(const PeSection& s) { return s.virtualSize ? s.virtualSize : s.rawSize; }

struct Key {
  const Resource* r;
  bool operator<(const Key& o) const {
    if (!(r->type == o.r->type)) return r->type < o.r->type;
    if (!(r->name == o.r->name)) return r->name < o.r->name;
    return r->language < o.r->language;
  }
};

// Writes into a buffer, every write checked against its end: one that would not fit is
// not made, and ok() is false from then on.
class BoundedWriter {
 public:
  explicit BoundedWriter(std::vector<uint8_t>* buffer) : b_(buffer) {}
  void U16(size_t at, uint32_t v) {
    if (Fits(at, 2)) PutU16(&(*b_)[at], v);
  }
  void U32(size_t at, uint32_t v) {
    if (Fits(at, 4)) PutU32(&(*b_)[at], v);
  }
  void Zero(size_t at, size_t n) {
    if (Fits(at, n)) memset(&(*b_)[at], 0, n);
  }
  // A directory's header: no characteristics, time stamp or version; the entry counts.
  void Header(size_t at, size_t named, size_t ids) {
    Zero(at, 16);
    U16(at + 12, (uint32_t)named);
    U16(at + 14, (uint32_t)ids);
  }
  bool ok() const { return ok_; }

 private:
  bool Fits(size_t at, size_t n) {
    ok_ = ok_ && at <= b_->size() && b_->size() - at >= n;
    return ok_;
  }
  std::vector<uint8_t>* b_;
  bool ok_ = true;
};

// The pieces as one run of bytes; false when one of them is a file's content.
bool Concatenate(const std::vector<ImagePiece>& pieces, std::vector<uint8_t>* out, std::string* error) {
  out->clear();
  for (const ImagePiece& p : pieces) {
    if (p.resource) {
      *error = "resource " + p.resource->type.Text() + "/" + p.resource->name.Text() + " is not held in memory";
      return false;
    }
    out->insert(out->end(), p.bytes.begin(), p.bytes.end());
  }
  return true;
}

}  // namespace

bool LayoutResourcePieces(const std::vector<Resource>& list, uint32_t sectionRva, std::vector<ImagePiece>* pieces,
                          std::string* error) {
  std::vector<Key> sorted;
  for (const Resource& r : list) sorted.push_back({&r});
  std::stable_sort(sorted.begin(), sorted.end());
  // The last of equal (type, name, language) wins, as SetResource would have it.
  std::vector<Key> unique;
  for (const Key& k : sorted) {
    if (!unique.empty() && !(unique.back() < k)) unique.back() = k;
    else unique.push_back(k);
  }

  // Groups: types, and within each type its names, within each name its languages.
  struct NameGroup { size_t first, count; };
  struct TypeGroup { std::vector<NameGroup> names; };
  std::vector<TypeGroup> types;
  for (size_t i = 0; i < unique.size(); i++) {
    bool newType = i == 0 || !(unique[i].r->type == unique[i - 1].r->type);
    bool newName = newType || !(unique[i].r->name == unique[i - 1].r->name);
    if (newType) types.push_back({});
    if (newName) types.back().names.push_back({i, 0});
    types.back().names.back().count++;
  }

  // Offsets: root, the name directories, the language directories, the data entries, the
  // strings, then the data.
  size_t at = 16 + 8 * types.size();
  std::vector<size_t> typeDir(types.size());
  for (size_t t = 0; t < types.size(); t++) {
    typeDir[t] = at;
    at += 16 + 8 * types[t].names.size();
  }
  std::vector<std::vector<size_t>> nameDir(types.size());
  for (size_t t = 0; t < types.size(); t++)
    for (const NameGroup& n : types[t].names) {
      nameDir[t].push_back(at);
      at += 16 + 8 * n.count;
    }
  size_t entries = at;
  at += 16 * unique.size();
  std::map<std::u16string, size_t> strings;
  for (const Key& k : unique)
    for (const ResourceId* id : {&k.r->type, &k.r->name})
      if (id->isName && !strings.count(id->name)) {
        strings[id->name] = at;
        at += 2 + 2 * id->name.size();
      }
  size_t directoryEnd = at;
  std::vector<size_t> dataAt(unique.size());
  uint64_t end = at;
  for (size_t i = 0; i < unique.size(); i++) {
    end = Align(end, 8);
    if (end > 0x7FFFFFFFu) break;
    dataAt[i] = (size_t)end;
    end += unique[i].r->Size();
  }
  uint64_t total = Align(end, 8);
  if (total > 0x7FFFFFFFu || (uint64_t)sectionRva + total > 0xFFFFFFFFu) {
    *error = "the resources would not fit a PE image";
    return false;
  }

  // The directory, entries and strings: all before the first data.
  std::vector<uint8_t> s(directoryEnd, 0);
  BoundedWriter w(&s);
  auto idField = [&](const ResourceId& id) -> uint32_t {
    return id.isName ? (uint32_t)strings[id.name] | kResourceSubdirectory : id.id;
  };
  auto namedCount = [](size_t n, auto isName) {
    size_t c = 0;
    for (size_t i = 0; i < n; i++) c += isName(i);
    return c;
  };
  size_t typeNamed = namedCount(types.size(), [&](size_t t) { return unique[types[t].names[0].first].r->type.isName; });
  w.Header(0, typeNamed, types.size() - typeNamed);
  for (size_t t = 0; t < types.size(); t++) {
    const Resource& first = *unique[types[t].names[0].first].r;
    w.U32(16 + 8 * t, idField(first.type));
    w.U32(16 + 8 * t + 4, (uint32_t)typeDir[t] | kResourceSubdirectory);
    const std::vector<NameGroup>& names = types[t].names;
    size_t named = namedCount(names.size(), [&](size_t n) { return unique[names[n].first].r->name.isName; });
    w.Header(typeDir[t], named, names.size() - named);
    for (size_t n = 0; n < names.size(); n++) {
      size_t e = typeDir[t] + 16 + 8 * n;
      w.U32(e, idField(unique[names[n].first].r->name));
      w.U32(e + 4, (uint32_t)nameDir[t][n] | kResourceSubdirectory);
      w.Header(nameDir[t][n], 0, names[n].count);
      for (size_t l = 0; l < names[n].count; l++) {
        size_t i = names[n].first + l;
        size_t le = nameDir[t][n] + 16 + 8 * l;
        w.U32(le, unique[i].r->language);
        w.U32(le + 4, (uint32_t)(entries + 16 * i));
      }
    }
  }
  for (size_t i = 0; i < unique.size(); i++) {
    size_t d = entries + 16 * i;
    w.U32(d, (uint32_t)(sectionRva + dataAt[i]));
    w.U32(d + 4, (uint32_t)unique[i].r->Size());
    w.U32(d + 8, unique[i].r->codePage);
  }
  for (const auto& str : strings) {
    w.U16(str.second, (uint32_t)str.first.size());
    for (size_t c = 0; c < str.first.size(); c++) w.U16(str.second + 2 + 2 * c, str.first[c]);
  }

  if (!w.ok()) {
    *error = "internal error: the resource directory overran its buffer";
    return false;
  }

  // Then the data: held bytes go on in the current piece; a file's content is a piece of
  // its own, and the held bytes after it a new one. `base` is the section offset at which
  // the current piece begins.
  pieces->clear();
  pieces->push_back({});
  pieces->back().bytes = std::move(s);
  size_t base = 0;
  for (size_t i = 0; i < unique.size(); i++) {
    const Resource& r = *unique[i].r;
    std::vector<uint8_t>& b = pieces->back().bytes;
    b.resize(dataAt[i] - base, 0);
    if (r.file.empty()) {
      b.insert(b.end(), r.data.begin(), r.data.end());
      continue;
    }
    ImagePiece file;
    file.resource = &r;
    pieces->push_back(std::move(file));
    pieces->push_back({});
    base = dataAt[i] + (size_t)r.fileSize;
  }
  pieces->back().bytes.resize((size_t)total - base, 0);
  return true;
}

bool LayoutResources(const std::vector<Resource>& list, uint32_t sectionRva, std::vector<uint8_t>* section,
                     std::string* error) {
  std::vector<ImagePiece> pieces;
  if (!LayoutResourcePieces(list, sectionRva, &pieces, error) || !Concatenate(pieces, section, error)) return false;
  return true;
}

bool WriteResources(const std::vector<uint8_t>& image, const std::vector<Resource>& list, uint32_t timeStamp,
                    std::vector<uint8_t>* out, std::string* error) {
  std::vector<ImagePiece> pieces;
  size_t checksumAt = 0;
  if (!PlanResourceWrite(image, list, timeStamp, &pieces, &checksumAt, error) || !Concatenate(pieces, out, error))
    return false;
  PutU32(&(*out)[checksumAt], PeChecksum(out->data(), out->size(), checksumAt));
  return true;
}

bool PlanResourceWrite(const std::vector<uint8_t>& image, const std::vector<Resource>& list, uint32_t timeStamp,
                       std::vector<ImagePiece>* pieces, size_t* checksumOffset, std::string* error) {
  PeImage pe;
  if (!ParsePe(image.data(), image.size(), &pe, error)) return false;
  if (pe.directoryCount < 3) {
    *error = "the PE image has no resource data directory";
    return false;
  }
  if (pe.directoryCount > 4 && GetU32(&image[pe.DirectoryOffset(4)]) != 0) {
    *error = "the PE image is signed; a signature would not survive the change";
    return false;
  }
  if (GetU32(&image[pe.coffOffset + 8]) != 0) {
    *error = "the PE image carries a symbol table (strip it first)";
    return false;
  }
  if (!PeLoadableLayout(pe, image.size(), error)) return false;
  size_t fileEnd = pe.sizeOfHeaders;
  uint64_t vaEnd = PeAlignUp64(pe.sizeOfHeaders, pe.sectionAlignment);
  size_t firstRaw = image.size();
  for (const PeSection& s : pe.sections) {
    if (s.rawSize) {
      fileEnd = std::max(fileEnd, (size_t)s.rawOffset + s.rawSize);
      firstRaw = std::min(firstRaw, (size_t)s.rawOffset);
    }
    vaEnd = std::max(vaEnd, PeAlignUp64((uint64_t)s.va + Extent(s), pe.sectionAlignment));
  }
  if (vaEnd > 0xFFFFFFFFu) {
    *error = "the PE image's sections reach beyond 4 GB of address";
    return false;
  }
  if (image.size() < fileEnd) {
    *error = "the PE image is cut short";
    return false;
  }
  if (image.size() > fileEnd) {
    *error = "the PE image has data after its last section";
    return false;
  }
  // In place when the resource directory begins the last section, which ends the file and
  // the image; otherwise a new section after all others.
  size_t count = pe.sections.size();
  bool inPlace = false;
  if (count && pe.resourceRva) {
    const PeSection& last = pe.sections.back();
    inPlace = pe.resourceRva == last.va && last.rawSize && (size_t)last.rawOffset + last.rawSize == fileEnd &&
              PeAlignUp64((uint64_t)last.va + Extent(last), pe.sectionAlignment) == vaEnd;
  }
  size_t header = pe.sectionTable + 40 * (inPlace ? count - 1 : count);
  if (!inPlace && (header + 40 > pe.sizeOfHeaders || header + 40 > firstRaw)) {
    *error = "no room in the PE headers for another section";
    return false;
  }
  PeSection sec;
  memcpy(sec.name, ".rsrc", 6);
  sec.characteristics = 0x40000040u;  // initialised data, readable
  uint32_t oldRaw = 0;
  if (inPlace) {
    sec.va = pe.sections.back().va;
    sec.rawOffset = pe.sections.back().rawOffset;
    oldRaw = pe.sections.back().rawSize;
  } else {
    uint64_t va = std::max(vaEnd, PeAlignUp64(pe.sizeOfImage, pe.sectionAlignment));
    if (va > 0xFFFFFFFFu || PeAlignUp64(fileEnd, pe.fileAlignment) > 0x7FFFFFFFu) {
      *error = "the PE image is too large";
      return false;
    }
    sec.va = (uint32_t)va;
    sec.rawOffset = (uint32_t)PeAlignUp64(fileEnd, pe.fileAlignment);
  }
  std::vector<ImagePiece> section;
  if (!LayoutResourcePieces(list, sec.va, &section, error)) return false;
  uint64_t sectionSize = 0;
  for (const ImagePiece& p : section) sectionSize += p.resource ? p.resource->fileSize : p.bytes.size();
  sec.virtualSize = (uint32_t)sectionSize;
  uint64_t rawSize = PeAlignUp64(sectionSize, pe.fileAlignment);
  if ((uint64_t)sec.rawOffset + rawSize > 0xFFFFFFFFu || (uint64_t)sec.va + rawSize > 0xFFFFFFFFu) {
    *error = "the resources would not fit a PE image";
    return false;
  }
  sec.rawSize = (uint32_t)rawSize;
  section.back().bytes.resize(section.back().bytes.size() + (size_t)(rawSize - sectionSize), 0);

  // The first piece: the image up to the new section, then the section's first piece.
  pieces->clear();
  pieces->push_back({});
  std::vector<uint8_t>& o = pieces->back().bytes;
  o.assign(image.begin(), image.begin() + (inPlace ? sec.rawOffset : fileEnd));
  o.resize(sec.rawOffset, 0);
  o.insert(o.end(), section[0].bytes.begin(), section[0].bytes.end());

  // Every field written lies in the headers, which the layout check keeps before the first
  // section's data; each write is checked against the buffer all the same.
  BoundedWriter w(&o);
  w.Zero(header, 40);
  for (size_t i = 0; i < 8; i += 4) w.U32(header + i, GetU32(reinterpret_cast<const uint8_t*>(sec.name) + i));
  w.U32(header + 8, sec.virtualSize);
  w.U32(header + 12, sec.va);
  w.U32(header + 16, sec.rawSize);
  w.U32(header + 20, sec.rawOffset);
  w.U32(header + 36, sec.characteristics);
  if (!inPlace) w.U16(pe.SectionCountOffset(), (uint32_t)count + 1);
  uint32_t initialised = GetU32(&image[pe.InitializedDataOffset()]);
  w.U32(pe.InitializedDataOffset(), initialised - oldRaw + sec.rawSize);
  w.U32(pe.SizeOfImageOffset(),
        (uint32_t)std::max(inPlace ? 0 : vaEnd, PeAlignUp64((uint64_t)sec.va + sec.virtualSize, pe.sectionAlignment)));
  w.U32(pe.DirectoryOffset(2), sec.va);
  w.U32(pe.DirectoryOffset(2) + 4, sec.virtualSize);
  w.U32(pe.TimeStampOffset(), timeStamp);
  w.U32(pe.ChecksumOffset(), 0);
  if (!w.ok()) {
    *error = "the PE headers lie outside the image";
    return false;
  }
  *checksumOffset = pe.ChecksumOffset();
  for (size_t i = 1; i < section.size(); i++) pieces->push_back(std::move(section[i]));
  return true;
}
