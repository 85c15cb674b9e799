#pragma once
// The SZDD compressor of the publisher's tools (host only). It writes the stream that
// common/format/szdd.h describes and the installer expands.
//
// The parse is optimal for the format: every position's longest match (length 3 to 18,
// anywhere in the 4096-byte window, the initial spaces included) is found exactly, and a
// shortest path over the positions picks literals (9 bits with their flag bit) and
// references (17 bits) so that the total is the smallest the format allows; flag bytes
// round the result up by less than one byte. A reference costs the same whatever its length
// and distance, so the longest match of each position is all the parse needs: every shorter
// length at the same distance is a match too.
//
// SzddCompress parses the whole stream at once (the exact optimum, memory in proportion to
// the data). The streaming compressor (szdd_compress_stream.h) parses blocks that each see the
// window before them, one per thread, in bounded memory; it only loses where a block border
// cuts the best path, a few bits per block.
#include <stddef.h>
#include <stdint.h>

#include <vector>

// How the longest match of each position is found. All three give the same lengths;
// the binary tree is the fast one, the others are slower, independent references.
enum class SzddMatchFinder {
  kBinaryTree,  // sorted suffixes of the window in binary trees, one per hash of three bytes
  kHashChain,   // every earlier position with the same first two bytes, nearest first
  kBruteForce,  // every distance from 1 to 4096 (tests only: very slow)
};

struct SzddMatch {
  uint8_t length;     // 0 when no match of 3 bytes or more exists
  uint16_t distance;  // 1 to 4096 bytes back (into the initial spaces when beyond the start)
};

// The longest match at every position of data, as the expander's window sees it.
std::vector<SzddMatch> SzddFindLongestMatches(const uint8_t* data, size_t size, SzddMatchFinder finder);

// A complete SZDD stream (header included) for data: the exact optimum of the whole stream.
// size must fit the header's 32 bits.
std::vector<uint8_t> SzddCompress(const uint8_t* data, size_t size,
                                  SzddMatchFinder finder = SzddMatchFinder::kBinaryTree);

// A stream from a greedy parse with one-step lazy matching, for comparison in benchmarks.
std::vector<uint8_t> SzddCompressLazy(const uint8_t* data, size_t size);

// --- Blocks and items, for the streaming compressor ---------------------------------------

// One item of the LZSS data: a literal (length 1, the byte in the low bits) or a reference
// (length 3 to 18, distance 1 to 4096 in the low bits).
inline uint32_t SzddLiteralItem(uint8_t byte) { return 1u << 16 | byte; }
inline uint32_t SzddReferenceItem(unsigned length, unsigned distance) { return (uint32_t)length << 16 | distance; }
inline unsigned SzddItemLength(uint32_t item) { return item >> 16; }

// Working memory of one block parse, kept between blocks so that it is allocated once.
struct SzddParseScratch {
  std::vector<uint32_t> head, son;  // the binary trees
  std::vector<uint8_t> length;      // longest match per position
  std::vector<uint16_t> distance;
  std::vector<uint32_t> cost;
};

// Bytes that a block parse may read (never use) after the block's end.
const size_t kSzddParsePadding = 8;

// The optimal parse of one block. buf holds `context` bytes that the window holds before the
// block (the last 4096 bytes of the stream so far, with the initial spaces in front of the
// stream's start), then the block's `size` bytes, then kSzddParsePadding bytes of any value.
// The items cover the block exactly: no reference reaches past its end. items is replaced.
void SzddParseBlock(const uint8_t* buf, size_t context, size_t size, SzddMatchFinder finder,
                    SzddParseScratch* scratch, std::vector<uint32_t>* items);

// Turns items into LZSS data: a flag byte before every eight items, bit 1 for a literal.
// Groups of items continue from one call to the next, so blocks join seamlessly.
class SzddItemWriter {
 public:
  void Put(uint32_t item);
  void PutAll(const uint32_t* items, size_t count);  // as Put for each, in one pass
  // The bytes at the front of out that are final (a group still open keeps its flag byte
  // and what follows it back); Drop removes that many after the caller has used them.
  size_t Final() const { return bit_ == 8 ? out.size() : flagAt_; }
  void Drop(size_t n);
  std::vector<uint8_t> out;

 private:
  size_t flagAt_ = 0;
  unsigned bit_ = 8;
  uint64_t k_ = 0;  // expanded bytes so far: the window's write position follows from it
};
