#pragma once
// The SZDD compressor of the publisher's tools (host only). It writes the stream that
// install/logic/szdd.h describes and the installer expands.
//
// The parse is optimal for the format: every position's longest match (length 3 to 18,
// anywhere in the 4096-byte window, the initial spaces included) is found exactly, and a
// shortest path over the positions picks literals (9 bits with their flag bit) and
// references (17 bits) so that the total is the smallest the format allows; flag bytes
// round the result up by less than one byte.
#include <stddef.h>
#include <stdint.h>

#include <vector>

// How the longest match of each position is found. All three give the same lengths;
// the binary tree is the fast one, the others are slower, independent references.
enum class SzddMatchFinder {
  kBinaryTree,  // sorted suffixes of the window in binary trees, one per two-byte prefix
  kHashChain,   // every earlier position with the same first two bytes, nearest first
  kBruteForce,  // every distance from 1 to 4096 (tests only: very slow)
};

struct SzddMatch {
  uint8_t length;     // 0 when no match of 3 bytes or more exists
  uint16_t distance;  // 1 to 4096 bytes back (into the initial spaces when beyond the start)
};

// The longest match at every position of data, as the expander's window sees it.
std::vector<SzddMatch> SzddFindLongestMatches(const uint8_t* data, size_t size, SzddMatchFinder finder);

// A complete SZDD stream (header included) for data. size must fit the header's 32 bits.
std::vector<uint8_t> SzddCompress(const uint8_t* data, size_t size,
                                  SzddMatchFinder finder = SzddMatchFinder::kBinaryTree);

// A stream from a greedy parse with one-step lazy matching, for comparison in benchmarks.
std::vector<uint8_t> SzddCompressLazy(const uint8_t* data, size_t size);
