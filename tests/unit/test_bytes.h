#pragma once
// Deterministic test data, so that every failure can be repeated.
#include <stddef.h>
#include <stdint.h>

#include <vector>

typedef std::vector<uint8_t> Bytes;

// xorshift64; offset keeps apart the sequences of tests that want their own.
struct Rng {
  uint64_t s;
  explicit Rng(uint64_t seed, uint64_t offset = 1) : s(seed * 0x9E3779B97F4A7C15ull + offset) {}
  uint32_t Next() {
    s ^= s << 13;
    s ^= s >> 7;
    s ^= s << 17;
    return (uint32_t)(s >> 11);
  }
};

inline Bytes RandomBytes(size_t n, uint64_t seed) {
  Rng r(seed);
  Bytes b(n);
  for (auto& x : b) x = (uint8_t)r.Next();
  return b;
}
