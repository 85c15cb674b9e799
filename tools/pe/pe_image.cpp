#include "tools/pe/pe_image.h"

#include <string.h>

#include <algorithm>
#include <utility>

void PutU16(uint8_t* p, uint32_t v) {
  p[0] = (uint8_t)v;
  p[1] = (uint8_t)(v >> 8);
}

void PutU32(uint8_t* p, uint32_t v) {
  PutU16(p, v & 0xFFFF);
  PutU16(p + 2, v >> 16);
}

uint32_t GetU16(const uint8_t* p) { return (uint32_t)p[0] | (uint32_t)p[1] << 8; }

uint32_t GetU32(const uint8_t* p) { return GetU16(p) | GetU16(p + 2) << 16; }

uint32_t PeAlignUp(uint32_t value, uint32_t alignment) {
  return alignment ? (value + alignment - 1) & ~(alignment - 1) : value;
}

uint64_t PeAlignUp64(uint64_t value, uint32_t alignment) {
  return alignment ? (value + alignment - 1) & ~(uint64_t)(alignment - 1) : value;
}

namespace {

bool Fits(size_t size, size_t offset, size_t length) { return offset <= size && size - offset >= length; }

bool PowerOfTwo(uint32_t v) { return v && !(v & (v - 1)); }

}  // namespace

bool ParsePe(const uint8_t* data, size_t size, PeImage* pe, std::string* error, PeParse mode) {
  *pe = PeImage();
  bool whole = mode == PeParse::kWhole;
  if (size < 64 || data[0] != 'M' || data[1] != 'Z') {
    *error = "not a PE file (no MZ header)";
    return false;
  }
  uint32_t lfanew = GetU32(data + 0x3C);
  if (!Fits(size, lfanew, 24) || memcmp(data + lfanew, "PE\0\0", 4) != 0) {
    *error = "not a PE file (no PE signature)";
    return false;
  }
  pe->coffOffset = (size_t)lfanew + 4;
  uint32_t sectionCount = GetU16(data + pe->coffOffset + 2);
  pe->optSize = GetU16(data + pe->coffOffset + 16);
  pe->optOffset = pe->coffOffset + 20;
  if (whole ? !Fits(size, pe->optOffset, pe->optSize) || pe->optSize < 2 : !Fits(size, pe->optOffset, 2)) {
    *error = "PE optional header cut short";
    return false;
  }
  const uint8_t* opt = data + pe->optOffset;
  uint32_t magic = GetU16(opt);
  size_t countAt;
  if (magic == 0x10B) {
    countAt = 92;
  } else if (magic == 0x20B) {
    countAt = 108;
    pe->pe32plus = true;
  } else {
    *error = "PE optional header of unknown kind";
    return false;
  }
  if (whole ? pe->optSize < countAt + 4 : !Fits(size, pe->optOffset, countAt + 4)) {
    *error = "PE optional header cut short";
    return false;
  }
  pe->sectionAlignment = GetU32(opt + 32);
  pe->fileAlignment = GetU32(opt + 36);
  pe->sizeOfImage = GetU32(opt + 56);
  pe->sizeOfHeaders = GetU32(opt + 60);
  pe->directoryCount = GetU32(opt + countAt);
  pe->directories = pe->optOffset + countAt + 4;
  size_t held = pe->optSize < countAt + 4 ? 0 : (pe->optSize - countAt - 4) / 8;
  if (whole && pe->directoryCount > held) {
    *error = "PE data directories cut short";
    return false;
  }
  if (whole && (!PowerOfTwo(pe->fileAlignment) || !PowerOfTwo(pe->sectionAlignment))) {
    *error = "PE alignments are not powers of two";
    return false;
  }
  if (!whole) pe->directoryCount = (uint32_t)std::min<size_t>({pe->directoryCount, held, (size - pe->directories) / 8});
  if (pe->directoryCount > 2) {
    pe->resourceRva = GetU32(data + pe->DirectoryOffset(2));
    pe->resourceSize = GetU32(data + pe->DirectoryOffset(2) + 4);
  }
  pe->sectionTable = pe->optOffset + pe->optSize;
  // A section header's name, sizes, address and raw offset take its first 24 bytes.
  if (whole ? !Fits(size, pe->sectionTable, 40 * (size_t)sectionCount)
            : sectionCount && !Fits(size, pe->sectionTable + 40 * ((size_t)sectionCount - 1), 24)) {
    *error = "PE section table cut short";
    return false;
  }
  for (uint32_t i = 0; i < sectionCount; i++) {
    size_t at = pe->sectionTable + 40 * (size_t)i;
    const uint8_t* s = data + at;
    PeSection sec;
    memcpy(sec.name, s, 8);
    sec.virtualSize = GetU32(s + 8);
    sec.va = GetU32(s + 12);
    sec.rawSize = GetU32(s + 16);
    sec.rawOffset = GetU32(s + 20);
    sec.characteristics = Fits(size, at, 40) ? GetU32(s + 36) : 0;
    if (whole && sec.rawSize && !Fits(size, sec.rawOffset, sec.rawSize)) {
      *error = std::string("PE section ") + sec.name + " lies beyond the end of the file (truncated?)";
      return false;
    }
    pe->sections.push_back(sec);
  }
  return true;
}

bool PeLoadableLayout(const PeImage& pe, size_t fileSize, std::string* error) {
  if (pe.fileAlignment < 512 || pe.fileAlignment > 65536) {
    *error = "the PE file alignment " + std::to_string(pe.fileAlignment) + " is not one Windows loads (512 to 65536)";
    return false;
  }
  if (pe.sectionAlignment < pe.fileAlignment) {
    *error = "the PE section alignment " + std::to_string(pe.sectionAlignment) + " is smaller than the file alignment";
    return false;
  }
  uint64_t headersEnd = pe.sectionTable + 40 * (uint64_t)pe.sections.size();
  if (pe.sizeOfHeaders < headersEnd || pe.sizeOfHeaders > fileSize) {
    *error = "the PE headers do not fit their SizeOfHeaders of " + std::to_string(pe.sizeOfHeaders) + " bytes";
    return false;
  }
  for (const PeSection& s : pe.sections)
    if (s.rawSize && s.rawOffset < pe.sizeOfHeaders) {
      *error = std::string("the PE section ") + s.name + "'s data overlap the headers";
      return false;
    }
  // In memory the sections follow the headers and one another in order, each beginning at
  // or after the aligned end of the one before.
  uint64_t vaEnd = PeAlignUp64(pe.sizeOfHeaders, pe.sectionAlignment);
  for (const PeSection& s : pe.sections) {
    if (s.va < vaEnd) {
      *error = std::string("the PE section ") + s.name + " overlaps the headers or the section before it in memory";
      return false;
    }
    vaEnd = PeAlignUp64((uint64_t)s.va + (s.virtualSize ? s.virtualSize : s.rawSize), pe.sectionAlignment);
  }
  // In the file no two sections share bytes.
  std::vector<std::pair<uint64_t, uint64_t>> raw;
  for (const PeSection& s : pe.sections)
    if (s.rawSize) raw.emplace_back(s.rawOffset, (uint64_t)s.rawOffset + s.rawSize);
  std::sort(raw.begin(), raw.end());
  for (size_t i = 1; i < raw.size(); i++)
    if (raw[i].first < raw[i - 1].second) {
      *error = "two PE sections share bytes of the file";
      return false;
    }
  return true;
}

bool PeRvaToOffset(const PeImage& pe, uint32_t rva, uint32_t length, size_t* offset) {
  for (const PeSection& s : pe.sections) {
    // The loader maps no more of the raw data than the virtual size: bytes past it are not
    // the section's (another section's memory may lie there).
    uint32_t mapped = s.virtualSize && s.virtualSize < s.rawSize ? s.virtualSize : s.rawSize;
    if (rva >= s.va && rva - s.va < mapped && mapped - (rva - s.va) >= length) {
      *offset = (size_t)s.rawOffset + (rva - s.va);
      return true;
    }
  }
  return false;
}

const PeSection* PeSectionOf(const PeImage& pe, uint32_t rva) {
  for (const PeSection& s : pe.sections)
    if (rva >= s.va && rva - s.va < s.rawSize) return &s;
  return nullptr;
}

void PeChecksumSum::Word(uint32_t word, uint64_t at) {
  if (at >= checksumOffset_ && at < checksumOffset_ + 4) word = 0;
  sum_ += word;
  sum_ = (sum_ & 0xFFFF) + (sum_ >> 16);
}

void PeChecksumSum::Add(const uint8_t* data, size_t size) {
  size_t i = 0;
  if (pending_ >= 0 && size) {
    Word((uint32_t)pending_ | (uint32_t)data[0] << 8, length_ - 1);
    pending_ = -1;
    i = 1;
  }
  for (; i + 1 < size; i += 2) Word(data[i] | (uint32_t)data[i + 1] << 8, length_ + i);
  if (i < size) pending_ = data[i];
  length_ += size;
}

uint32_t PeChecksumSum::Finish() const {
  PeChecksumSum last = *this;
  if (last.pending_ >= 0) last.Word((uint32_t)last.pending_, last.length_ - 1);
  uint64_t sum = (last.sum_ & 0xFFFF) + (last.sum_ >> 16);
  return (uint32_t)(sum + length_);
}

uint32_t PeChecksum(const uint8_t* data, size_t size, size_t checksumOffset) {
  PeChecksumSum sum(checksumOffset);
  sum.Add(data, size);
  return sum.Finish();
}
