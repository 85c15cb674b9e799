// The packer's reader of a PE file's FileVersion (host only): lenient, so that a payload file
// with odd headers still gets its version, and bounded by the span it is given.
#include <stdint.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tools/pe/version_info.h"

namespace {

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
