#pragma once
// A version resource and a small PE file holding it, built byte by byte for the tests of the
// version lookup and of the packer.
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <string>
#include <utility>
#include <vector>

namespace version_pe {

typedef std::vector<uint8_t> Bytes;

const size_t kVersionPeOpt = 0x58, kVersionPeSection = kVersionPeOpt + 224;

inline void Put16(Bytes& b, size_t at, uint32_t v) {
  b[at] = (uint8_t)v;
  b[at + 1] = (uint8_t)(v >> 8);
}
inline void Put32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; i++) b[at + i] = (uint8_t)(v >> (8 * i));
}
inline void Pad4(Bytes& b) {
  while (b.size() % 4) b.push_back(0);
}

// One block of a version resource: length, value length, type, key, value, children.
inline Bytes VersionBlock(const std::string& key, const Bytes& value, uint32_t valueLength, bool text,
                   const std::vector<Bytes>& children) {
  Bytes b(6, 0);
  for (char c : key) {
    b.push_back((uint8_t)c);
    b.push_back(0);
  }
  b.push_back(0);
  b.push_back(0);
  Pad4(b);
  b.insert(b.end(), value.begin(), value.end());
  for (const Bytes& c : children) {
    Pad4(b);
    b.insert(b.end(), c.begin(), c.end());
  }
  Put16(b, 0, (uint32_t)b.size());
  Put16(b, 2, valueLength);
  Put16(b, 4, text ? 1 : 0);
  return b;
}

inline Bytes StringValue(const std::string& key, const std::string& value) {
  Bytes v;
  for (char c : value) {
    v.push_back((uint8_t)c);
    v.push_back(0);
  }
  v.push_back(0);
  v.push_back(0);
  return VersionBlock(key, v, (uint32_t)value.size() + 1, true, {});
}

// A version resource with one string table per (table, FileVersion) pair.
inline Bytes VersionInfo(const std::vector<std::pair<std::string, std::string>>& tables) {
  std::vector<Bytes> tableBlocks;
  for (const auto& t : tables) {
    tableBlocks.push_back(VersionBlock(t.first, {}, 0, true,
                                       {StringValue("CompanyName", "Kestrel Lane Software"),
                                        StringValue("FileVersion", t.second), StringValue("ProductName", "Lumivane")}));
  }
  Bytes fixed(52, 0);
  Put32(fixed, 0, 0xFEEF04BD);
  Bytes stringInfo = VersionBlock("StringFileInfo", {}, 0, true, tableBlocks);
  Bytes varInfo = VersionBlock("VarFileInfo", {}, 0, true, {VersionBlock("Translation", Bytes{9, 8, 0xB0, 4}, 4, false, {})});
  return VersionBlock("VS_VERSION_INFO", fixed, 52, false, {stringInfo, varInfo});
}

// A minimal 32-bit PE file whose one section holds a resource tree with RT_VERSION: the
// headers at kVersionPeOpt (the optional header) and kVersionPeSection (the section header),
// the tree at file offset 0x200 (address 0x1000): the types at 0x00, the names at 0x18, the
// languages at 0x30, the data entry at 0x48, the version's bytes at 0x58.
inline Bytes PeWithVersion(const Bytes& version) {
  const size_t kRaw = 0x200, kRva = 0x1000;
  Bytes rsrc(0x58, 0);
  Put16(rsrc, 0x0E, 1);                 // root: one id entry
  Put32(rsrc, 0x10, 16);                //   RT_VERSION
  Put32(rsrc, 0x14, 0x80000000u | 0x18);
  Put16(rsrc, 0x18 + 0x0E, 1);          // names: one id entry
  Put32(rsrc, 0x28, 1);
  Put32(rsrc, 0x2C, 0x80000000u | 0x30);
  Put16(rsrc, 0x30 + 0x0E, 1);          // languages: one id entry
  Put32(rsrc, 0x40, 0x809);
  Put32(rsrc, 0x44, 0x48);
  Put32(rsrc, 0x48, (uint32_t)(kRva + 0x58));  // data entry
  Put32(rsrc, 0x4C, (uint32_t)version.size());
  rsrc.insert(rsrc.end(), version.begin(), version.end());

  Bytes pe(kRaw, 0);
  pe[0] = 'M';
  pe[1] = 'Z';
  Put32(pe, 0x3C, 0x40);
  Put32(pe, 0x40, 0x00004550);
  size_t coff = 0x44, opt = kVersionPeOpt;
  Put16(pe, coff, 0x14C);
  Put16(pe, coff + 2, 1);
  Put16(pe, coff + 16, 224);
  Put16(pe, opt, 0x10B);
  Put32(pe, opt + 32, 0x1000);  // section and file alignment
  Put32(pe, opt + 36, 0x200);
  Put32(pe, opt + 92, 16);
  Put32(pe, opt + 96 + 16, (uint32_t)kRva);
  Put32(pe, opt + 96 + 20, (uint32_t)rsrc.size());
  size_t sec = kVersionPeSection;
  memcpy(&pe[sec], ".rsrc", 5);
  Put32(pe, sec + 8, (uint32_t)rsrc.size());
  Put32(pe, sec + 12, (uint32_t)kRva);
  Put32(pe, sec + 16, (uint32_t)rsrc.size());
  Put32(pe, sec + 20, (uint32_t)kRaw);
  pe.insert(pe.end(), rsrc.begin(), rsrc.end());
  return pe;
}

}  // namespace version_pe
