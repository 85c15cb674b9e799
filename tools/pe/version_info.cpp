// The packer's reader of a PE file's FileVersion (host only): the image read leniently
// (PeParse::kLenient, LocateResource), so that a payload file with odd headers still gets
// its version, and bounded by the span it is given.
#include "tools/pe/version_info.h"

#include <stdint.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tools/pe/pe_image.h"
#include "tools/pe/resource_tree.h"

namespace {

struct Bytes {
  const uint8_t* d;
  size_t n;
  bool U16(size_t off, uint32_t* v) const {
    if (off > n || n - off < 2) return false;
    *v = d[off] | d[off + 1] << 8;
    return true;
  }
};

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
  PeImage pe;
  std::string error;
  if (!ParsePe(data, size, &pe, &error, PeParse::kLenient)) return false;
  // Name 1 or the first; the neutral, US or UK English language or the first.
  ResourcePath path;
  path.type = kResourceVersion;
  path.names = {1};
  path.languages = {0, 0x409, 0x809};
  size_t off;
  uint32_t len;
  if (!LocateResource(data, size, pe, path, &off, &len)) return false;
  Bytes v = {data + off, len};
  Block root;
  if (!ReadBlock(v, 0, len, &root) || !KeyIs(root.key, "VS_VERSION_INFO")) return false;
  return FindFileVersion(v, root, "080904B0", text) || FindFileVersion(v, root, "040904B0", text);
}
