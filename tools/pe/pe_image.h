#pragma once
// Reading and editing a PE image held in memory (host only): the headers and the section
// table, the resource data directory, the time stamp and the image checksum. Every read is
// bounded by the span given; a malformed image is refused with a reason, never read past.
#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

struct PeSection {
  char name[9] = {};           // up to 8 characters, zero-terminated here
  uint32_t virtualSize = 0;
  uint32_t va = 0;             // relative virtual address
  uint32_t rawSize = 0;
  uint32_t rawOffset = 0;
  uint32_t characteristics = 0;
};

struct PeImage {
  size_t coffOffset = 0;       // the COFF file header, just after "PE\0\0"
  size_t optOffset = 0;        // the optional header
  size_t optSize = 0;
  size_t sectionTable = 0;     // file offset of the section table
  bool pe32plus = false;
  uint32_t fileAlignment = 0;
  uint32_t sectionAlignment = 0;
  uint32_t sizeOfImage = 0;
  uint32_t sizeOfHeaders = 0;
  uint32_t directoryCount = 0;
  size_t directories = 0;      // file offset of the data directories
  uint32_t resourceRva = 0;    // the resource data directory; 0 when there is none
  uint32_t resourceSize = 0;
  std::vector<PeSection> sections;

  // File offsets of header fields the writer updates.
  size_t TimeStampOffset() const { return coffOffset + 4; }
  size_t SectionCountOffset() const { return coffOffset + 2; }
  size_t InitializedDataOffset() const { return optOffset + 8; }
  size_t SizeOfImageOffset() const { return optOffset + 56; }
  size_t ChecksumOffset() const { return optOffset + 64; }
  size_t DirectoryOffset(unsigned index) const { return directories + 8 * (size_t)index; }
};

// How much of an image's headers ParsePe insists on.
enum class PeParse {
  // Every check below: for the tools that edit an image or report on its layout.
  kWhole,
  // Only what finding data through the data directories needs, so that a file with odd
  // headers is still read (the packer's version lookup): the alignments are not looked at,
  // the optional header and its data directories count as far as both it and the file hold
  // them, a section header needs no more than its name, sizes, address and raw offset, and
  // a section's raw data may run past the end of the file. Every read of the image through
  // such a PeImage must therefore be bounded by the file, not by the section table.
  kLenient,
};

// Parses the headers and section table. False with *error when the bytes are not a PE image
// this tool can work on (no MZ or PE signature, an optional header of unknown kind, headers
// or section table cut short; when whole: a section whose raw data lie outside the file,
// alignments that are not powers of two, more data directories than the optional header holds).
bool ParsePe(const uint8_t* data, size_t size, PeImage* pe, std::string* error, PeParse mode = PeParse::kWhole);

// Whether the platform's loader takes the image's layout, as the resource writer needs it:
// the file alignment a power of two from 512 to 64 KB, the section alignment a power of two
// no smaller; the headers through the section table within SizeOfHeaders, which lies in
// the file and ends at or before every section's raw data; the sections in ascending order
// in memory without overlapping the headers or each other, and sharing no bytes of the
// file. False with *error otherwise.
bool PeLoadableLayout(const PeImage& pe, size_t fileSize, std::string* error);

// The file offset of `length` bytes at rva, all within one section's raw data.
bool PeRvaToOffset(const PeImage& pe, uint32_t rva, uint32_t length, size_t* offset);

// The first section whose raw data hold rva (virtual size aside), or null.
const PeSection* PeSectionOf(const PeImage& pe, uint32_t rva);

// The image checksum as the platform computes it: the file summed as 16-bit little-endian
// words with the carry folded back in (an odd last byte counts as a word of its own), the
// checksum field itself counted as zero, plus the file's length.
uint32_t PeChecksum(const uint8_t* data, size_t size, size_t checksumOffset);

// The same checksum over a file given in pieces of any length (odd ones too), in order.
class PeChecksumSum {
 public:
  explicit PeChecksumSum(uint64_t checksumOffset) : checksumOffset_(checksumOffset) {}
  void Add(const uint8_t* data, size_t size);
  uint32_t Finish() const;  // the checksum of everything added so far

 private:
  void Word(uint32_t word, uint64_t at);
  uint64_t checksumOffset_;
  uint64_t sum_ = 0;
  uint64_t length_ = 0;
  int pending_ = -1;  // the first byte of a word not yet complete, or -1
};

uint32_t PeAlignUp(uint32_t value, uint32_t alignment);
uint64_t PeAlignUp64(uint64_t value, uint32_t alignment);

void PutU16(uint8_t* p, uint32_t v);
void PutU32(uint8_t* p, uint32_t v);
uint32_t GetU16(const uint8_t* p);
uint32_t GetU32(const uint8_t* p);
