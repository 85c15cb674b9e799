#include <gtest/gtest.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "common/format/szdd.h"
#include "tests/unit/test_bytes.h"
#include "tools/szdd/compress.h"

namespace {

// Text-like data with repeats near and far, so that matches of every length and distance occur.
Bytes TextLike(size_t n, uint64_t seed) {
  static const char* words[] = {"the ",   "window ", "payload ", "file ",  "list ",   "Lumivane ", "of ",
                                "and ",   "\r\n",    "version ", "1, 0, ", "size ",   "a ",        "data "};
  Rng r(seed);
  Bytes b;
  while (b.size() < n) {
    if (b.size() > 100 && r.Next() % 7 == 0) {
      size_t dist = 1 + r.Next() % std::min<size_t>(b.size(), 5000);
      size_t len = 3 + r.Next() % 30;
      for (size_t i = 0; i < len && b.size() < n; i++) b.push_back(b[b.size() - dist]);
    } else {
      const char* w = words[r.Next() % (sizeof words / sizeof *words)];
      for (; *w && b.size() < n; w++) b.push_back((uint8_t)*w);
    }
  }
  return b;
}

// Expands from exactly sized heap copies, so that AddressSanitizer sees any access outside
// either buffer.
SzddStatus ExpandExact(const Bytes& stream, size_t outSize, Bytes* out, size_t* produced) {
  uint8_t* in = static_cast<uint8_t*>(malloc(stream.size() ? stream.size() : 1));
  if (!stream.empty()) memcpy(in, stream.data(), stream.size());
  uint8_t* o = static_cast<uint8_t*>(malloc(outSize ? outSize : 1));
  size_t got = 12345;
  SzddStatus s = SzddExpand(in, stream.size(), outSize ? o : nullptr, outSize, &got);
  if (produced) *produced = got;
  if (out) out->assign(o, o + std::min(got, outSize));
  free(in);
  free(o);
  return s;
}

std::string Hex(const Bytes& b, size_t max = 24) {
  std::string s;
  char t[4];
  for (size_t i = 0; i < b.size() && i < max; i++) {
    snprintf(t, sizeof t, "%02X ", b[i]);
    s += t;
  }
  if (b.size() > max) s += "...";
  return s;
}

Bytes Header(unsigned length) {
  Bytes h(kSzddHeaderSize);
  SzddWriteHeader(length, h.data());
  return h;
}

void ExpectRoundTrip(const char* name, const Bytes& data) {
  Bytes z = SzddCompress(data.data(), data.size());
  unsigned len = 0xDEADBEEF;
  ASSERT_EQ(kSzddOk, SzddReadHeader(z.data(), z.size(), &len)) << name;
  EXPECT_EQ(data.size(), len) << name;
  Bytes back;
  size_t produced = 0;
  EXPECT_EQ(kSzddOk, ExpandExact(z, data.size(), &back, &produced)) << name;
  EXPECT_EQ(data.size(), produced) << name;
  EXPECT_TRUE(back == data) << name << ": expected " << Hex(data) << " got " << Hex(back);
  // The lazy parse writes the same format and can never beat the optimal one.
  Bytes lazy = SzddCompressLazy(data.data(), data.size());
  EXPECT_EQ(kSzddOk, ExpandExact(lazy, data.size(), &back, nullptr)) << name;
  EXPECT_TRUE(back == data) << name << " (lazy)";
  EXPECT_LE(z.size(), lazy.size()) << name;
}

TEST(SzddHeader, Fields) {
  Bytes h = Header(71808);
  const uint8_t expected[14] = {'S', 'Z', 'D', 'D', 0x88, 0xF0, 0x27, 0x33, 'A', 0, 0x80, 0x18, 0x01, 0x00};
  EXPECT_EQ(0, memcmp(expected, h.data(), 14)) << "got " << Hex(h);
  unsigned len = 0;
  EXPECT_EQ(kSzddOk, SzddReadHeader(h.data(), h.size(), &len));
  EXPECT_EQ(71808u, len);
  Bytes big = Header(0xFEDCBA98u);
  EXPECT_EQ(kSzddOk, SzddReadHeader(big.data(), big.size(), &len));
  EXPECT_EQ(0xFEDCBA98u, len);
}

TEST(SzddHeader, NotCompressedOrUnknownMode) {
  struct Case {
    const char* name;
    Bytes data;
    SzddStatus expected;
  };
  Bytes badMagic = Header(5);
  badMagic[7] = 0x34;
  Bytes modeB = Header(5);
  modeB[8] = 'B';
  Bytes shortHeader = Header(5);
  shortHeader.pop_back();
  const Case cases[] = {
      {"empty", Bytes(), kSzddNotCompressed},
      {"plain text", Bytes{'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '!', '!', '!', '!'},
       kSzddNotCompressed},
      {"magic cut short", shortHeader, kSzddNotCompressed},
      {"last magic byte wrong", badMagic, kSzddNotCompressed},
      {"mode B", modeB, kSzddUnknownMode},
  };
  for (const Case& c : cases) {
    unsigned len = 777;
    EXPECT_EQ(c.expected, SzddReadHeader(c.data.data(), c.data.size(), &len)) << c.name;
    size_t produced = 99;
    EXPECT_EQ(c.expected, ExpandExact(c.data, 8, nullptr, &produced)) << c.name;
    EXPECT_EQ(0u, produced) << c.name;
  }
}

// Streams written by hand, each checking one rule of the window.
TEST(SzddExpand, HandMadeStreams) {
  struct Case {
    const char* name;
    Bytes body;
    std::string expected;
  };
  const Case cases[] = {
      {"literals only", {0xFF, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 0x01, 'i'}, "abcdefghi"},
      // Position 0 at output 0 lies 4080 bytes back: 18 of the initial spaces.
      {"reference into the initial spaces", {0x00, 0x00, 0x0F}, std::string(18, ' ')},
      // Position 4080 (0xFF0) at output 0 is the write position itself: 4096 back, a space.
      {"reference 4096 back", {0x02, 0xF0, 0xF0, 'x'}, "   x"},
      // "ab", then position 4080 of length 6: copies overlapping what it writes.
      {"overlapping run", {0x03, 'a', 'b', 0xF0, 0xF3}, "abababab"},
      // A reference starting two bytes before the first output byte: two spaces, then
      // what it has itself just written.
      {"spaces then own output", {0x01, 'q', 0xEE, 0xF2}, "q  q  "},
      // Output 16 lands at window position 0 after the wrap; position 4094 of length 5 reads
      // positions 4094, 4095, 0, 1, 2, that is outputs 14 to 18.
      {"reference that wraps the window",
       {0xFF, 'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 0xFF, 'I', 'J', 'K', 'L', 'M', 'N', 'O', 'P', 0x07, 'Q', 'R',
        'S', 0xFE, 0xF2},
       "ABCDEFGHIJKLMNOPQRSOPQRS"},
  };
  for (const Case& c : cases) {
    Bytes stream = Header((unsigned)c.expected.size());
    stream.insert(stream.end(), c.body.begin(), c.body.end());
    Bytes out;
    size_t produced = 0;
    SzddStatus s = ExpandExact(stream, c.expected.size(), &out, &produced);
    EXPECT_EQ(kSzddOk, s) << c.name;
    EXPECT_EQ(std::string(out.begin(), out.end()), c.expected) << c.name;
  }
}

TEST(SzddExpand, StreamEnds) {
  struct Case {
    const char* name;
    Bytes body;
    size_t length;
    SzddStatus expected;
    size_t produced;
  };
  const Case cases[] = {
      {"empty stream, length 0", {}, 0, kSzddOk, 0},
      {"empty stream, length 1", {}, 1, kSzddTruncated, 0},
      {"flag byte alone after the end", {0xFF, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 0x00}, 8, kSzddOk, 8},
      {"half a reference after the end", {0x01, 'a', 0x12}, 1, kSzddOk, 1},
      {"flag byte with nothing, length 1", {0x01}, 1, kSzddTruncated, 0},
      {"half a reference before the end", {0x01, 'a', 0x12}, 2, kSzddTruncated, 1},
      {"one literal too many", {0x03, 'a', 'b'}, 1, kSzddOverlong, 1},
      {"reference longer than what is left", {0x00, 0x00, 0x0F}, 5, kSzddOverlong, 5},
      {"literal after a full output", {0x00, 0x00, 0x02, 0x00, 'z'}, 4, kSzddOverlong, 4},
  };
  for (const Case& c : cases) {
    Bytes stream = Header((unsigned)c.length);
    stream.insert(stream.end(), c.body.begin(), c.body.end());
    size_t produced = 999;
    EXPECT_EQ(c.expected, ExpandExact(stream, c.length, nullptr, &produced)) << c.name;
    EXPECT_EQ(c.produced, produced) << c.name;
  }
}

TEST(SzddRoundTrip, Inputs) {
  struct Case {
    const char* name;
    Bytes data;
  };
  Bytes ramp(70000);
  for (size_t i = 0; i < ramp.size(); i++) ramp[i] = (uint8_t)(i * 7 + i / 251);
  Bytes spaces(5000, ' ');
  spaces.push_back('!');
  Bytes farRepeat = RandomBytes(3000, 5);
  Bytes tail = farRepeat;
  Bytes mid = RandomBytes(1090, 6);
  farRepeat.insert(farRepeat.end(), mid.begin(), mid.end());
  farRepeat.insert(farRepeat.end(), tail.begin(), tail.end());  // repeats exactly 4090 back
  const Case cases[] = {
      {"empty", Bytes()},
      {"one byte", Bytes{'x'}},
      {"one space", Bytes{' '}},
      {"two bytes", Bytes{0, 1}},
      {"three equal bytes", Bytes{7, 7, 7}},
      {"long run of zeros", Bytes(100000, 0)},
      {"long run of spaces", spaces},
      {"text longer than the window", TextLike(200000, 1)},
      {"incompressible", RandomBytes(50000, 2)},
      {"ramp", ramp},
      {"repeat near the window's reach", farRepeat},
      {"alternating pair", [] { Bytes b(9999); for (size_t i = 0; i < b.size(); i++) b[i] = i & 1 ? 'a' : 'b'; return b; }()},
  };
  for (const Case& c : cases) ExpectRoundTrip(c.name, c.data);
  for (size_t n = 1; n <= 40; n++) ExpectRoundTrip("short text", TextLike(n, n));
}

TEST(SzddCompress, SizesOfKnownInputs) {
  // 100000 zeros: 16 of the initial spaces cannot help, so one literal zero, then runs of 18.
  Bytes zeros(100000, 0);
  Bytes z = SzddCompress(zeros.data(), zeros.size());
  size_t refs = (100000 - 1 + 17) / 18;
  size_t items = 1 + refs;
  EXPECT_EQ(kSzddHeaderSize + 1 + 2 * refs + (items + 7) / 8, z.size());
  // Spaces come entirely from the window: references only.
  Bytes sp(18 * 100, ' ');
  z = SzddCompress(sp.data(), sp.size());
  EXPECT_EQ(kSzddHeaderSize + 2 * 100 + (100 + 7) / 8, z.size());
  // No three bytes repeat, and a single space cannot use the initial ones: literals only.
  Bytes r(256);
  for (size_t i = 0; i < r.size(); i++) r[i] = (uint8_t)i;
  z = SzddCompress(r.data(), r.size());
  EXPECT_EQ(kSzddHeaderSize + 256 + 32, z.size());
}

TEST(SzddCompress, MatchFindersAgree) {
  struct Case {
    const char* name;
    Bytes data;
  };
  const Case cases[] = {
      {"text", TextLike(6000, 11)},
      {"random", RandomBytes(3000, 12)},
      {"zeros and text", [] { Bytes b(1000, 0); Bytes t = TextLike(3500, 13); b.insert(b.end(), t.begin(), t.end()); b.resize(b.size() + 1000, 0); return b; }()},
      {"spaces and text", [] { Bytes b = TextLike(2000, 14); b.resize(b.size() + 200, 0x20); Bytes t = TextLike(3000, 15); b.insert(b.end(), t.begin(), t.end()); return b; }()},
      {"short", Bytes{' ', ' ', ' ', 'a', ' ', ' '}},
  };
  for (const Case& c : cases) {
    std::vector<SzddMatch> tree = SzddFindLongestMatches(c.data.data(), c.data.size(), SzddMatchFinder::kBinaryTree);
    std::vector<SzddMatch> chain = SzddFindLongestMatches(c.data.data(), c.data.size(), SzddMatchFinder::kHashChain);
    std::vector<SzddMatch> brute = SzddFindLongestMatches(c.data.data(), c.data.size(), SzddMatchFinder::kBruteForce);
    ASSERT_EQ(c.data.size(), tree.size()) << c.name;
    int mismatches = 0;
    for (size_t k = 0; k < c.data.size() && mismatches < 5; k++) {
      if (tree[k].length != brute[k].length || chain[k].length != brute[k].length) {
        ADD_FAILURE() << c.name << " at " << k << ": expected length " << int(brute[k].length) << " got tree "
                      << int(tree[k].length) << " chain " << int(chain[k].length);
        mismatches++;
      }
      // The match the tree reports is real: the bytes it names equal the bytes at k.
      if (tree[k].length) {
        for (unsigned i = 0; i < tree[k].length; i++) {
          long src = (long)k - tree[k].distance + (long)i;
          uint8_t b = src < 0 ? ' ' : c.data[(size_t)src];
          if (b != c.data[k + i]) {
            ADD_FAILURE() << c.name << " at " << k << ": match byte " << i << " differs";
            mismatches++;
            break;
          }
        }
        EXPECT_GE(tree[k].distance, 1) << c.name;
        EXPECT_LE(tree[k].distance, 4096) << c.name;
      }
    }
    Bytes a = SzddCompress(c.data.data(), c.data.size(), SzddMatchFinder::kBinaryTree);
    Bytes b = SzddCompress(c.data.data(), c.data.size(), SzddMatchFinder::kHashChain);
    EXPECT_EQ(b.size(), a.size()) << c.name;
  }
}

TEST(SzddExpand, EveryTruncationFailsInsideItsBuffers) {
  Bytes data = TextLike(3000, 21);
  Bytes z = SzddCompress(data.data(), data.size());
  for (size_t cut = 0; cut < z.size(); cut++) {
    Bytes part(z.begin(), z.begin() + cut);
    size_t produced = 0;
    SzddStatus s = ExpandExact(part, data.size(), nullptr, &produced);
    SzddStatus expected = cut < kSzddHeaderSize ? kSzddNotCompressed : kSzddTruncated;
    // Dropping only an unused final flag byte or a final byte that ends nothing is harmless.
    if (s == kSzddOk) {
      EXPECT_EQ(data.size(), produced) << "cut " << cut;
      EXPECT_GE(cut, z.size() - 2) << "cut " << cut;
      continue;
    }
    EXPECT_EQ(expected, s) << "cut " << cut << " of " << z.size();
    EXPECT_LE(produced, data.size()) << "cut " << cut;
  }
}

TEST(SzddExpand, CorruptStreamsStayInsideTheirBuffers) {
  Bytes data = TextLike(5000, 31);
  Bytes z = SzddCompress(data.data(), data.size());
  int differing = 0;
  for (uint64_t seed = 1; seed <= 400; seed++) {
    Rng r(seed);
    Bytes bad = z;
    int flips = 1 + (int)(r.Next() % 8);
    for (int i = 0; i < flips; i++) bad[kSzddHeaderSize + r.Next() % (bad.size() - kSzddHeaderSize)] ^= (uint8_t)(1 + r.Next() % 255);
    // Also a stated length that disagrees with the data, shorter or longer.
    size_t outSize = data.size();
    if (seed % 3 == 1) outSize = r.Next() % (data.size() + 1);
    if (seed % 3 == 2) outSize = data.size() + r.Next() % 300;
    SzddWriteHeader((unsigned)outSize, bad.data());
    Bytes out;
    size_t produced = 0;
    SzddStatus s = ExpandExact(bad, outSize, &out, &produced);
    EXPECT_TRUE(s == kSzddOk || s == kSzddTruncated || s == kSzddOverlong) << "seed " << seed << " status " << s;
    EXPECT_LE(produced, outSize) << "seed " << seed;
    if (s == kSzddOk) {
      EXPECT_EQ(outSize, produced) << "seed " << seed;
    }
    if (s != kSzddOk || out != data) differing++;
  }
  EXPECT_GT(differing, 300) << "corruption should almost always show";
}

TEST(SzddExpand, RandomGarbageAfterAHeader) {
  for (uint64_t seed = 1; seed <= 300; seed++) {
    Rng r(seed);
    size_t outSize = r.Next() % 2000;
    Bytes stream = Header((unsigned)outSize);
    Bytes body = RandomBytes(r.Next() % 1500, seed + 1000);
    stream.insert(stream.end(), body.begin(), body.end());
    size_t produced = 0;
    SzddStatus s = ExpandExact(stream, outSize, nullptr, &produced);
    EXPECT_TRUE(s == kSzddOk || s == kSzddTruncated || s == kSzddOverlong) << "seed " << seed;
    EXPECT_LE(produced, outSize) << "seed " << seed;
  }
}

}  // namespace
