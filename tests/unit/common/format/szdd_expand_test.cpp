// The expander against a plain ring-window expander written from the format's description:
// on streams long enough for the expander's word-at-a-time path, with references of every
// distance (the initial spaces, overlapping runs of 1 to 3 bytes, a whole window back), cut
// at any point and with stated lengths that disagree with the data.
#include <gtest/gtest.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "common/format/szdd.h"
#include "tests/unit/test_bytes.h"

namespace {

struct Result {
  SzddStatus status;
  Bytes out;  // the bytes produced
};

// The format as described: a 4096-byte window of spaces, writing from 4080, one byte at a
// time; the stream's end inside a flag byte's items ends it; no more than outSize bytes.
Result Reference(const Bytes& stream, size_t outSize) {
  Result r;
  unsigned length = 0;
  r.status = SzddReadHeader(stream.data(), stream.size(), &length);
  if (r.status != kSzddOk) return r;
  uint8_t window[4096];
  memset(window, ' ', sizeof window);
  unsigned pos = 4080;
  size_t i = kSzddHeaderSize;
  auto put = [&](uint8_t b) {
    r.out.push_back(b);
    window[pos] = b;
    pos = (pos + 1) & 4095;
  };
  while (i < stream.size()) {
    unsigned flags = stream[i++];
    for (int bit = 0; bit < 8; bit++, flags >>= 1) {
      if (flags & 1) {
        if (i >= stream.size()) goto done;
        if (r.out.size() >= outSize) {
          r.status = kSzddOverlong;
          return r;
        }
        put(stream[i++]);
      } else {
        if (stream.size() - i < 2) goto done;
        unsigned p = stream[i] | (stream[i + 1] & 0xF0) << 4;
        unsigned len = (stream[i + 1] & 0x0F) + 3;
        i += 2;
        for (unsigned n = 0; n < len; n++) {
          if (r.out.size() >= outSize) {
            r.status = kSzddOverlong;
            return r;
          }
          put(window[(p + n) & 4095]);
        }
      }
    }
  }
done:
  if (r.out.size() < outSize) r.status = kSzddTruncated;
  return r;
}

// The expander from exactly sized heap copies (AddressSanitizer sees any stray access).
Result Ours(const Bytes& stream, size_t outSize) {
  uint8_t* in = static_cast<uint8_t*>(malloc(stream.size()));
  memcpy(in, stream.data(), stream.size());
  uint8_t* o = static_cast<uint8_t*>(malloc(outSize ? outSize : 1));
  size_t produced = 0;
  Result r;
  r.status = SzddExpand(in, stream.size(), outSize ? o : nullptr, outSize, &produced);
  r.out.assign(o, o + (produced <= outSize ? produced : outSize));
  free(in);
  free(o);
  return r;
}

// A random stream whose items produce about `items` * 6 bytes: literals, and references
// whose distance is picked from a mix of the cases that matter.
Bytes RandomStream(Rng& r, size_t items, size_t* expandedLength) {
  Bytes s(kSzddHeaderSize);
  size_t k = 0;
  unsigned literalShare = r.Next() % 100;
  for (size_t n = 0; n < items; n += 8) {
    size_t flagAt = s.size();
    s.push_back(0);
    uint8_t flags = 0;
    for (int bit = 0; bit < 8; bit++) {
      if (r.Next() % 100 < literalShare) {
        flags |= (uint8_t)(1 << bit);
        s.push_back((uint8_t)r.Next());
        k++;
        continue;
      }
      unsigned len = 3 + r.Next() % 16;
      unsigned d;
      switch (r.Next() % 6) {
        case 0: d = 1 + r.Next() % 3; break;     // overlapping run
        case 1: d = 4 + r.Next() % 16; break;    // near, overlapping words
        case 2: d = 4096; break;                 // a whole window back
        case 3: d = 4000 + r.Next() % 97; break;
        default: d = 1 + r.Next() % 4096; break;
      }
      unsigned p = (unsigned)((4080 + k - d) & 4095);
      s.push_back((uint8_t)p);
      s.push_back((uint8_t)((p >> 4) & 0xF0) | (uint8_t)(len - 3));
      k += len;
    }
    s[flagAt] = flags;
  }
  *expandedLength = k;
  return s;
}

void ExpectSame(const Bytes& stream, size_t outSize, const char* what, uint64_t seed) {
  Bytes withHeader = stream;
  SzddWriteHeader((unsigned)outSize, withHeader.data());
  Result want = Reference(withHeader, outSize);
  Result got = Ours(withHeader, outSize);
  ASSERT_EQ(want.status, got.status) << what << " seed " << seed << " out " << outSize;
  ASSERT_EQ(want.out.size(), got.out.size()) << what << " seed " << seed << " out " << outSize;
  size_t at = 0;
  while (at < want.out.size() && want.out[at] == got.out[at]) at++;
  ASSERT_EQ(want.out.size(), at) << what << " seed " << seed << ": first difference at byte " << at
                                 << ", expected " << (int)want.out[at] << " got " << (int)got.out[at];
}

TEST(SzddExpandFast, SameBytesAsTheRingWindow) {
  for (uint64_t seed = 1; seed <= 25; seed++) {
    Rng r(seed, 7);  // this file's own sequences
    size_t length = 0;
    Bytes stream = RandomStream(r, 2000 + r.Next() % 6000, &length);
    ExpectSame(stream, length, "exact length", seed);
  }
}

TEST(SzddExpandFast, StatedLengthShorterOrLonger) {
  for (uint64_t seed = 100; seed <= 120; seed++) {
    Rng r(seed, 7);  // this file's own sequences
    size_t length = 0;
    Bytes stream = RandomStream(r, 1500 + r.Next() % 3000, &length);
    size_t shorter = 4096 + r.Next() % (length - 4096);
    ExpectSame(stream, shorter, "shorter", seed);
    ExpectSame(stream, length - 1 - r.Next() % 200, "a little shorter", seed);
    ExpectSame(stream, length + 1 + r.Next() % 300, "longer", seed);
  }
}

TEST(SzddExpandFast, CutAnywhere) {
  Rng r(7, 7);  // this file's own sequences
  size_t length = 0;
  Bytes stream = RandomStream(r, 2400, &length);
  for (size_t cut = stream.size() - 60; cut < stream.size(); cut++) {
    Bytes part(stream.begin(), stream.begin() + cut);
    ExpectSame(part, length, "cut", cut);
  }
  for (int n = 0; n < 60; n++) {
    size_t cut = kSzddHeaderSize + r.Next() % (stream.size() - kSzddHeaderSize);
    Bytes part(stream.begin(), stream.begin() + cut);
    ExpectSame(part, length, "cut", cut);
  }
}

}  // namespace
