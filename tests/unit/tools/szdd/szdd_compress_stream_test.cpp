// The streaming, block-parallel compressor against the exact whole-stream optimum: both must
// expand to the input with the installer's expander, and the blocks may cost only a few bytes
// at each border.
#include <gtest/gtest.h>
#include <glob.h>
#include <stdint.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "common/format/szdd.h"
#include "tests/unit/test_bytes.h"
#include "tools/szdd/compress.h"
#include "tools/szdd/compress_stream.h"

namespace {

Bytes Text(size_t n, uint64_t seed) {
  static const char* words[] = {"the ", "window ", "payload ", "file ", "of ", "and ", "\r\n", "version ", "1, 0, "};
  Rng r(seed);
  Bytes b;
  while (b.size() < n) {
    const char* w = words[r.Next() % (sizeof words / sizeof *words)];
    for (; *w && b.size() < n; w++) b.push_back((uint8_t)*w);
  }
  return b;
}

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes b;
  for (const Bytes& p : parts) b.insert(b.end(), p.begin(), p.end());
  return b;
}

// The stream made by the block compressor, the data handed over in pieces of varying size.
Bytes Stream(const Bytes& data, size_t blockSize, unsigned threads, bool* ok) {
  Bytes out;
  SzddStreamOptions o;
  o.threads = threads;
  o.blockSize = blockSize;
  SzddStreamCompressor c((uint32_t)data.size(), o, [&](const uint8_t* d, size_t n) {
    out.insert(out.end(), d, d + n);
    return true;
  });
  Rng r(blockSize * 31 + threads);
  *ok = true;
  for (size_t at = 0; at < data.size();) {
    size_t n = std::min<size_t>(data.size() - at, 1 + r.Next() % 5000);
    *ok = c.Write(data.data() + at, n) && *ok;
    at += n;
  }
  *ok = c.Finish() && *ok;
  EXPECT_EQ(out.size(), c.compressedSize());
  return out;
}

// Expanded from an exactly sized copy, so that AddressSanitizer sees any stray access.
bool ExpandsTo(const Bytes& stream, const Bytes& data, std::string* why) {
  Bytes in(stream);
  Bytes out(data.size());
  size_t produced = 0;
  SzddStatus s = SzddExpand(in.data(), in.size(), out.data(), out.size(), &produced);
  if (s != kSzddOk) {
    *why = "expansion status " + std::to_string(s) + " after " + std::to_string(produced) + " bytes";
    return false;
  }
  size_t at = std::mismatch(out.begin(), out.end(), data.begin()).first - out.begin();
  if (at != data.size()) {
    *why = "first wrong byte at " + std::to_string(at) + ": expected " + std::to_string(data[at]) + " got " +
           std::to_string(out[at]);
    return false;
  }
  return true;
}

TEST(SzddStream, BlocksExpandAsTheExactParseDoes) {
  struct Case {
    const char* name;
    Bytes data;
    std::vector<size_t> blockSizes;
  };
  Bytes r3000 = RandomBytes(3000, 1);
  Bytes farSource = RandomBytes(3000, 2);
  const Case cases[] = {
      // The second copy's matches reach back into the block before.
      {"matches across block borders", Cat({r3000, r3000, r3000}), {1000, 2999, 3000, 3001, 4096}},
      // 4090 bytes back, the far end of the window, from the next block.
      {"match at the window's reach", Cat({farSource, RandomBytes(1090, 3), farSource}), {4000, 4090, 5000}},
      // Spaces at the start come from the initial window, also for blocks after the first.
      {"references into the initial spaces", Cat({Bytes(40, ' '), Text(500, 4), Bytes(100, ' ')}), {1, 7, 16, 17, 41}},
      {"spaces only", Bytes(5000, ' '), {1, 18, 100}},
      // Runs of one byte cut at every offset of an 18-byte reference.
      {"block boundary inside a run", Cat({Text(300, 5), Bytes(10000, 0), Text(300, 6)}), {17, 18, 19, 1000, 1001}},
      {"text longer than the window", Text(20000, 7), {100, 4095, 4097, 8192}},
      {"incompressible", RandomBytes(9000, 8), {1000, 4096}},
      {"one byte", Bytes{'x'}, {1, 100}},
      {"blocks of one byte", Text(300, 9), {1, 2, 3}},
  };
  for (const Case& c : cases) {
    Bytes exact = SzddCompress(c.data.data(), c.data.size());
    std::string why;
    ASSERT_TRUE(ExpandsTo(exact, c.data, &why)) << c.name << " (exact): " << why;
    for (size_t block : c.blockSizes) {
      for (unsigned threads : {1u, 2u, 3u}) {
        bool ok = false;
        Bytes s = Stream(c.data, block, threads, &ok);
        std::string where = std::string(c.name) + ", blocks of " + std::to_string(block) + ", " +
                            std::to_string(threads) + " threads";
        EXPECT_TRUE(ok) << where;
        EXPECT_TRUE(ExpandsTo(s, c.data, &why)) << where << ": " << why;
        // A border can cut one reference of the best path in two and shift the flag bytes:
        // never better than the optimum, and at most a few bytes worse per border.
        size_t borders = (c.data.size() - 1) / block;
        EXPECT_GE(s.size(), exact.size()) << where;
        EXPECT_LE(s.size(), exact.size() + 5 * borders + 1) << where << ": exact " << exact.size();
      }
    }
  }
}

TEST(SzddStream, OneBlockIsTheExactOptimum) {
  Bytes data = Cat({Text(30000, 10), RandomBytes(2000, 11), Text(9000, 12)});
  Bytes exact = SzddCompress(data.data(), data.size());
  bool ok = false;
  Bytes s = Stream(data, data.size(), 2, &ok);
  EXPECT_TRUE(ok);
  EXPECT_TRUE(exact == s) << "sizes: exact " << exact.size() << " got " << s.size();
}

TEST(SzddStream, LengthMustMatchTheHeader) {
  Bytes data = Text(5000, 13);
  struct Case {
    const char* name;
    uint32_t stated;
    bool writeOk, finishOk;
  };
  const Case cases[] = {
      {"as stated", 5000, true, true},
      {"more than stated", 4999, false, false},
      {"less than stated", 5001, true, false},
  };
  for (const Case& c : cases) {
    Bytes out;
    SzddStreamOptions o;
    o.blockSize = 1000;
    SzddStreamCompressor comp(c.stated, o, [&](const uint8_t* d, size_t n) {
      out.insert(out.end(), d, d + n);
      return true;
    });
    EXPECT_EQ(c.writeOk, comp.Write(data.data(), data.size())) << c.name;
    EXPECT_EQ(c.finishOk, comp.Finish()) << c.name;
  }
}

TEST(SzddStream, SinkFailureStops) {
  // Incompressible data, so that the output passes the 1 MB at which it is handed on.
  Bytes data = RandomBytes(3u << 20, 14);
  for (int failAt : {1, 2}) {
    int calls = 0;
    SzddStreamOptions o;
    o.blockSize = 1u << 20;
    SzddStreamCompressor comp((uint32_t)data.size(), o, [&](const uint8_t*, size_t) { return ++calls < failAt; });
    bool writes = comp.Write(data.data(), data.size());
    bool finish = comp.Finish();
    EXPECT_FALSE(writes && finish) << "a sink failing at call " << failAt << " must be reported";
    EXPECT_EQ(failAt, calls) << "no output after the sink failed";
  }
}

// Windows libraries of the mingw-w64 tool chain (installed by setup-deps.sh) and the licence
// texts of every Debian system: real PE code and text.
Bytes RealInput(size_t want) {
  std::vector<std::string> paths;
  const char* patterns[] = {"/usr/lib/gcc/i686-w64-mingw32/*/*.dll", "/usr/i686-w64-mingw32/lib/*.dll",
                            "/usr/share/common-licenses/*"};
  for (const char* pattern : patterns) {
    glob_t g;
    if (glob(pattern, 0, nullptr, &g) == 0) {
      for (size_t i = 0; i < g.gl_pathc; i++) paths.push_back(g.gl_pathv[i]);
    }
    globfree(&g);
  }
  Bytes all;
  for (const std::string& p : paths) {
    std::ifstream f(p, std::ios::binary);
    Bytes b((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    b.resize(std::min<size_t>(b.size(), 2u << 20));  // no single file dominates
    all.insert(all.end(), b.begin(), b.end());
    if (all.size() >= want) break;
  }
  return all;
}

TEST(SzddStream, WithinTheBoundOnRealInput) {
  Bytes data = RealInput(6u << 20);
  ASSERT_GE(data.size(), 3u << 20) << "the mingw-w64 libraries that setup-deps.sh installs are missing: only "
                                   << data.size() << " bytes found";
  Bytes exact = SzddCompress(data.data(), data.size());
  for (size_t block : {kSzddDefaultBlockSize, (size_t)1 << 20}) {
    bool ok = false;
    Bytes s = Stream(data, block, 2, &ok);
    std::string why;
    EXPECT_TRUE(ok);
    EXPECT_TRUE(ExpandsTo(s, data, &why)) << why;
    double ratio = (double)s.size() / (double)exact.size();
    EXPECT_LE(ratio, 1.0005) << data.size() << " bytes in blocks of " << block << ": exact " << exact.size() << " got "
                             << s.size();
    EXPECT_GE(ratio, 1.0);
    printf("%zu bytes, blocks of %zu: exact %zu, blocks %zu (ratio %.7f)\n", data.size(), block, exact.size(),
           s.size(), ratio);
  }
}

}  // namespace
