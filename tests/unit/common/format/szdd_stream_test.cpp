// The payload read in pieces through a bounded buffer: files of every size around the
// buffer's borders, a kept file's bytes dropped in the middle, streams that end early or go
// on, and the file list's sizes against the payload.
#include <gtest/gtest.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "common/format/file_list.h"
#include "common/format/szdd_stream.h"
#include "tests/unit/test_bytes.h"
#include "tools/szdd/compress.h"

namespace {

// Bytes that compress into references of every distance, unlike each file before.
Bytes FileBytes(size_t n, uint64_t seed) {
  Rng r(seed, 11);
  Bytes b;
  while (b.size() < n) {
    if (b.size() > 8 && r.Next() % 3 == 0) {
      size_t d = 1 + r.Next() % std::min<size_t>(b.size(), 4096);
      for (size_t len = 3 + r.Next() % 20; len > 0 && b.size() < n; len--) b.push_back(b[b.size() - d]);
    } else {
      b.push_back((uint8_t)(r.Next() % 5 == 0 ? ' ' : 'a' + r.Next() % 26));
    }
  }
  return b;
}

// A buffer sized exactly, on the heap, so that AddressSanitizer sees any stray access.
struct Buffer {
  explicit Buffer(size_t n) : size(n), data(static_cast<uint8_t*>(malloc(n))) {}
  ~Buffer() { free(data); }
  size_t size;
  uint8_t* data;
};

struct Piece {
  const char* name;
  size_t piece;  // the largest piece read at once: the buffer's border
};

// Reads files of the given sizes one after another, keeping (dropping) the one at keep.
void ReadFiles(const std::vector<size_t>& sizes, size_t keep, size_t piece, bool compressed) {
  Bytes all;
  std::vector<Bytes> files;
  for (size_t i = 0; i < sizes.size(); i++) {
    files.push_back(FileBytes(sizes[i], i + 1));
    all.insert(all.end(), files.back().begin(), files.back().end());
  }
  Bytes data = compressed ? SzddCompress(all.data(), all.size()) : all;
  Buffer in(data.size() ? data.size() : 1);
  memcpy(in.data, data.data(), data.size());
  Buffer buf(SzddStreamBufferSize(piece));
  SzddStream s;
  unsigned length = 0;
  ASSERT_EQ(kSzddOk, SzddStreamBegin(&s, in.data, data.size(), buf.data, buf.size, &length));
  ASSERT_EQ(all.size(), length);
  for (size_t i = 0; i < files.size(); i++) {
    if (i == keep) {
      ASSERT_EQ(kSzddOk, SzddStreamSkip(&s, (unsigned)sizes[i])) << "file " << i;
      continue;
    }
    Bytes got;
    size_t left = sizes[i];
    do {
      size_t want = std::min(left, piece);
      const unsigned char* bytes;
      size_t n;
      ASSERT_EQ(kSzddOk, SzddStreamRead(&s, want, &bytes, &n)) << "file " << i;
      ASSERT_EQ(want, n);
      got.insert(got.end(), bytes, bytes + n);
      left -= n;
    } while (left > 0);
    ASSERT_TRUE(got == files[i]) << "file " << i << " of " << sizes[i] << " bytes, piece " << piece;
  }
  EXPECT_EQ(kSzddOk, SzddStreamFinish(&s));
}

TEST(PayloadStream, FilesAroundTheBuffersBorders) {
  const Piece pieces[] = {{"smallest", 1}, {"odd", 97}, {"a window", 4096}, {"two windows and one", 8193}};
  for (const Piece& p : pieces) {
    size_t b = p.piece;
    std::vector<size_t> sizes = {0, 1, b > 1 ? b - 1 : 0, b, b + 1, 0, 2 * b + 1, 5000, b, 1, 3 * b - 1, 7};
    for (bool compressed : {true, false}) {
      SCOPED_TRACE(std::string(p.name) + (compressed ? " compressed" : " plain"));
      ReadFiles(sizes, sizes.size(), b, compressed);  // every file written
      ReadFiles(sizes, 4, b, compressed);             // the one of border+1 bytes kept
      ReadFiles(sizes, 6, b, compressed);             // the one across two borders kept
    }
  }
}

TEST(PayloadStream, OneByteShortOrLongIsRefused) {
  Bytes all = FileBytes(30000, 3);
  Bytes z = SzddCompress(all.data(), all.size());
  struct Case {
    const char* name;
    long delta;  // added to the stated length
    SzddStatus expected;
  } cases[] = {
      {"exact", 0, kSzddOk},
      {"states one more than it yields", 1, kSzddTruncated},
      {"states one less than it yields", -1, kSzddOverlong},
      {"states a window less", -4096, kSzddOverlong},
  };
  for (size_t piece : {1u, 4096u, 65536u}) {
    for (const Case& c : cases) {
      Bytes data = z;
      SzddWriteHeader((unsigned)(all.size() + c.delta), data.data());
      Buffer in(data.size());
      memcpy(in.data, data.data(), data.size());
      Buffer buf(SzddStreamBufferSize(piece));
      EXPECT_EQ(c.expected, SzddStreamCheck(in.data, data.size(), buf.data, buf.size)) << c.name << " " << piece;
      // The same judgement as the expander into one block.
      Bytes out(all.size() + c.delta);
      EXPECT_EQ(c.expected, SzddExpand(data.data(), data.size(), out.data(), out.size(), nullptr)) << c.name;
    }
  }
}

TEST(PayloadStream, CutAnywhereAgreesWithTheExpander) {
  Bytes all = FileBytes(12000, 5);
  Bytes z = SzddCompress(all.data(), all.size());
  Rng r(9, 3);
  for (int n = 0; n < 80; n++) {
    size_t cut = n < 20 ? z.size() - n : kSzddHeaderSize + r.Next() % (z.size() - kSzddHeaderSize);
    Buffer in(cut);
    memcpy(in.data, z.data(), cut);
    Buffer buf(SzddStreamBufferSize(1 + r.Next() % 5000));
    Bytes out(all.size());
    SzddStatus whole = SzddExpand(in.data, cut, out.data(), out.size(), nullptr);
    EXPECT_EQ(whole, SzddStreamCheck(in.data, cut, buf.data, buf.size)) << "cut at " << cut;
  }
}

TEST(PayloadStream, UnknownModeIsRefusedAtTheStart) {
  Bytes z = SzddCompress(reinterpret_cast<const uint8_t*>("abc"), 3);
  z[8] = 'B';
  Buffer buf(SzddStreamBufferSize(16));
  SzddStream s;
  unsigned length;
  EXPECT_EQ(kSzddUnknownMode, SzddStreamBegin(&s, z.data(), z.size(), buf.data, buf.size, &length));
}

TEST(FileList, SizesAgainstThePayload) {
  struct Case {
    const char* name;
    const char* list;
    unsigned payload;
    int expected;
  } cases[] = {
      {"exact", "a,5.CE10DC00,01BE8E28\r\nb,3,1,0,0,0\r\n", 8, 0},
      {"one byte more", "a,5.CE10DC00,01BE8E28\r\nb,4,1,0,0,0\r\n", 8, kFileSizesBeyondPayload},
      {"one byte less", "a,5.CE10DC00,01BE8E28\r\nb,2,1,0,0,0\r\n", 8, kFileSizesBeyondPayload},
      {"a negative size", "a,-5.CE10DC00,01BE8E28\r\nb,13\r\n", 8, kFileSizesBeyondPayload},
      {"empty files", "a,0.CE10DC00,01BE8E28\r\nb,8\r\nc,0.0,0\r\n", 8, 0},
      {"malformed line after a fitting prefix", "a,5.CE10DC00,01BE8E28\r\nno comma\r\n", 8, 0},
      {"malformed line after too much", "a,9.CE10DC00,01BE8E28\r\nno comma\r\n", 8, kFileSizesBeyondPayload},
      {"sizes beyond 32 bits together", "a,2147483647\r\nb,2147483647\r\nc,2\r\n", 4294967295u,
       kFileSizesBeyondPayload},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.expected, CheckFileListSizes(c.list, strlen(c.list) + 1, c.payload)) << c.name;
  }
}

TEST(FileList, FindsAnEntryAndItsOffset) {
  const char list[] = "a.txt,5.CE10DC00,01BE8E28\r\nDrivers\\X.sys,300,1,0,0,2\r\nb,7\r\n";
  struct Case {
    const char* name;
    bool found;
    unsigned offset;
  } cases[] = {{"a.txt", true, 0}, {"drivers\\x.SYS", true, 5}, {"b", true, 305}, {"Drivers\\X.sy", false, 0},
               {"Drivers\\X.sys2", false, 0}, {"c", false, 0}};
  for (const Case& c : cases) {
    FileEntry e;
    unsigned offset = 99;
    ASSERT_EQ(c.found, FindFileEntry(list, sizeof list, c.name, &e, &offset)) << c.name;
    if (c.found) EXPECT_EQ(c.offset, offset) << c.name;
  }
  FileEntry e;
  unsigned offset;
  const char broken[] = "a,5\r\nno comma\r\nb,3\r\n";
  EXPECT_FALSE(FindFileEntry(broken, sizeof broken, "b", &e, &offset)) << "an entry after a malformed line";
}

}  // namespace
