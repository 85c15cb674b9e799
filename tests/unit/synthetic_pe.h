#pragma once
// A 32-bit PE image made byte by byte for the tests of the resource writer.
#include <gtest/gtest.h>
#include <string.h>

#include <vector>

#include "tools/pe/resource_tree.h"

const uint32_t kFileAlign = 0x200, kSectionAlign = 0x1000;

inline void PutSection(std::vector<uint8_t>* f, size_t at, const char* name, uint32_t vsize, uint32_t va, uint32_t raw,
                uint32_t rawOff) {
  memcpy(&(*f)[at], name, strlen(name));
  PutU32(&(*f)[at + 8], vsize);
  PutU32(&(*f)[at + 12], va);
  PutU32(&(*f)[at + 16], raw);
  PutU32(&(*f)[at + 20], rawOff);
  PutU32(&(*f)[at + 36], 0x40000040u);
}

// A 32-bit PE image: .text, .rsrc holding `resources` (or the raw section given), and when
// rsrcLast is false a .reloc after it.
// pe32plus makes the 64-bit form of the optional header (its directories 16 bytes later).
inline std::vector<uint8_t> MakePe(const std::vector<Resource>& resources, bool rsrcLast,
                            const std::vector<uint8_t>* rawRsrc = nullptr, bool pe32plus = false) {
  std::vector<uint8_t> rsrc;
  std::string error;
  if (rawRsrc) rsrc = *rawRsrc;
  else EXPECT_TRUE(LayoutResources(resources, 0x2000, &rsrc, &error)) << error;
  uint32_t rsrcRaw = PeAlignUp((uint32_t)rsrc.size(), kFileAlign);
  size_t sections = rsrcLast ? 2 : 3;
  std::vector<uint8_t> f(0x400 + 0x200 + rsrcRaw + (rsrcLast ? 0 : 0x200), 0);
  f[0] = 'M';
  f[1] = 'Z';
  PutU32(&f[0x3C], 0x80);
  memcpy(&f[0x80], "PE\0\0", 4);
  size_t coff = 0x84, opt = coff + 20;
  PutU16(&f[coff], 0x14C);
  PutU16(&f[coff + 2], (uint32_t)sections);
  PutU32(&f[coff + 4], 0x12345678);
  size_t optSize = pe32plus ? 0xF0 : 0xE0, dirs = pe32plus ? 112 : 96;
  PutU16(&f[coff + 16], (uint32_t)optSize);
  PutU16(&f[coff + 18], 0x102);
  PutU16(&f[opt], pe32plus ? 0x20B : 0x10B);
  PutU32(&f[opt + 8], rsrcRaw + (rsrcLast ? 0 : 0x200));
  PutU32(&f[opt + 16], 0x1000);
  if (!pe32plus) PutU32(&f[opt + 28], 0x400000);
  else PutU32(&f[opt + 24], 0x400000);
  PutU32(&f[opt + 32], kSectionAlign);
  PutU32(&f[opt + 36], kFileAlign);
  uint32_t rsrcPages = PeAlignUp((uint32_t)rsrc.size(), kSectionAlign);
  PutU32(&f[opt + 56], 0x2000 + rsrcPages + (rsrcLast ? 0 : 0x1000));
  PutU32(&f[opt + 60], 0x400);
  PutU16(&f[opt + 68], 2);
  PutU32(&f[opt + dirs - 4], 16);
  PutU32(&f[opt + dirs + 16], 0x2000);
  PutU32(&f[opt + dirs + 20], (uint32_t)rsrc.size());
  size_t table = opt + optSize;
  PutSection(&f, table, ".text", 0x180, 0x1000, 0x200, 0x400);
  for (size_t i = 0; i < 0x180; i++) f[0x400 + i] = (uint8_t)(i * 7 + 1);
  PutSection(&f, table + 40, ".rsrc", (uint32_t)rsrc.size(), 0x2000, rsrcRaw, 0x600);
  if (!rsrc.empty()) memcpy(&f[0x600], rsrc.data(), rsrc.size());
  if (!rsrcLast) {
    PutSection(&f, table + 80, ".reloc", 0x10, 0x2000 + rsrcPages, 0x200, 0x600 + rsrcRaw);
    f[0x600 + rsrcRaw] = 0xAB;
  }
  return f;
}

