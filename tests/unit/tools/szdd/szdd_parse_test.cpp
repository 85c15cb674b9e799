// The parse of one block against references written here the plain way: the binary-tree
// finder against the exhaustive finders, and the shortest path against a dynamic programme
// over every length, on inputs chosen to strain the trees (deep trees, long runs whose nodes
// keep being replaced, matches at the window's very end, many heads sharing a slot); and the
// writer's one-pass PutAll against Put.
#include <gtest/gtest.h>
#include <stdint.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/format/szdd.h"
#include "tests/unit/test_bytes.h"
#include "tools/szdd/compress.h"

namespace {

struct Case {
  std::string name;
  Bytes data;
};

Bytes Alphabet(size_t n, unsigned symbols, uint64_t seed) {
  Rng r(seed);
  Bytes b(n);
  for (auto& x : b) x = (uint8_t)('a' + r.Next() % symbols);
  return b;
}

// Records of 16 bytes that share their first 12 and differ in a counter: many suffixes agree
// on 12 to 17 bytes and few on 18.
Bytes Records(size_t n) {
  Bytes b;
  for (uint32_t i = 0; b.size() < n; i++) {
    const char* prefix = "<a href=\"#x_";
    b.insert(b.end(), prefix, prefix + 12);
    for (int k = 0; k < 4; k++) b.push_back((uint8_t)('0' + (i >> (3 * k) & 7)));
  }
  b.resize(n);
  return b;
}

// A random piece of `period` bytes repeated: matches exactly at, or just beyond, the window's
// reach of 4096 bytes.
Bytes Periodic(size_t n, size_t period, uint64_t seed) {
  Bytes piece = RandomBytes(period, seed);
  Bytes b(n);
  for (size_t i = 0; i < n; i++) b[i] = piece[i % period];
  return b;
}

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes b;
  for (const Bytes& p : parts) b.insert(b.end(), p.begin(), p.end());
  return b;
}

std::vector<Case> Cases() {
  Bytes text = Alphabet(3000, 6, 5);
  return {
      {"two symbols", Alphabet(9000, 2, 1)},
      {"four symbols", Alphabet(30000, 4, 2)},
      {"random bytes", RandomBytes(30000, 3)},
      {"records sharing 12 bytes", Records(30000)},
      {"long run, then text", Cat({Bytes(20000, 0), Alphabet(8000, 5, 4)})},
      {"text, long run, the same text", Cat({text, Bytes(12000, 'z'), text, Bytes(5000, 'z'), text})},
      {"period 4096", Periodic(20000, 4096, 6)},
      {"period 4097", Periodic(20000, 4097, 7)},
      {"period 4095", Periodic(20000, 4095, 8)},
      {"spaces and text", Cat({Bytes(5000, ' '), text, Bytes(100, ' '), Alphabet(5000, 3, 9)})},
  };
}

// The longest match at k of buf (context bytes of window before the block, then the block),
// found by trying every distance.
unsigned BruteLongest(const Bytes& buf, size_t context, size_t size, size_t k, unsigned* distance) {
  unsigned limit = (unsigned)std::min<size_t>(kSzddMaxMatch, size - k);
  size_t p = context + k;
  unsigned best = 0;
  for (size_t d = 1; d <= kSzddWindowSize && d <= p; d++) {
    unsigned len = 0;
    while (len < limit && buf[p - d + len] == buf[p + len]) len++;
    if (len > best) best = len, *distance = (unsigned)d;
    if (best == limit) break;
  }
  return best >= kSzddMinMatch ? best : 0;
}

// The least bits of the block: a literal 9, a reference of any length 3 to longest[k] 17.
uint64_t LeastBits(const std::vector<unsigned>& longest) {
  size_t n = longest.size();
  std::vector<uint64_t> cost(n + 1, 0);
  for (size_t k = n; k-- > 0;) {
    cost[k] = cost[k + 1] + 9;
    for (unsigned len = kSzddMinMatch; len <= longest[k]; len++) cost[k] = std::min(cost[k], cost[k + len] + 17);
  }
  return cost[0];
}

TEST(SzddParse, TreeFinderAgreesWithTheExhaustiveOnes) {
  for (const Case& c : Cases()) {
    std::vector<SzddMatch> tree = SzddFindLongestMatches(c.data.data(), c.data.size(), SzddMatchFinder::kBinaryTree);
    std::vector<SzddMatch> chain = SzddFindLongestMatches(c.data.data(), c.data.size(), SzddMatchFinder::kHashChain);
    std::vector<SzddMatch> brute;
    if (c.data.size() <= 12000) brute = SzddFindLongestMatches(c.data.data(), c.data.size(), SzddMatchFinder::kBruteForce);
    ASSERT_EQ(c.data.size(), tree.size()) << c.name;
    int failures = 0;
    for (size_t k = 0; k < c.data.size() && failures < 5; k++) {
      if (tree[k].length != chain[k].length || (!brute.empty() && brute[k].length != chain[k].length)) {
        ADD_FAILURE() << c.name << " at " << k << ": expected length " << int(chain[k].length) << " got tree "
                      << int(tree[k].length) << (brute.empty() ? "" : " brute " + std::to_string(brute[k].length));
        failures++;
      }
      if (!tree[k].length) continue;
      if (tree[k].distance < 1 || tree[k].distance > kSzddWindowSize) {
        ADD_FAILURE() << c.name << " at " << k << ": distance " << tree[k].distance << " outside 1..4096";
        failures++;
        continue;
      }
      for (unsigned i = 0; i < tree[k].length; i++) {
        long src = (long)k - tree[k].distance + (long)i;
        uint8_t expected = src < 0 ? ' ' : c.data[(size_t)src];
        if (expected != c.data[k + i]) {
          ADD_FAILURE() << c.name << " at " << k << ": byte " << i << " of the match at distance " << tree[k].distance
                        << " is " << int(expected) << ", the data's " << int(c.data[k + i]);
          failures++;
          break;
        }
      }
    }
  }
}

// One block with the window before it, parsed, and its items checked one by one: they cover
// the block, each literal is its byte, each reference copies equal bytes from within reach, and
// the bits are the least that every-length programme finds.
void ExpectBlockParse(const std::string& name, const Bytes& before, const Bytes& block) {
  Bytes buf(kSzddWindowSize, ' ');
  size_t keep = std::min<size_t>(before.size(), kSzddWindowSize);
  std::copy(before.end() - (ptrdiff_t)keep, before.end(), buf.end() - (ptrdiff_t)keep);
  buf.insert(buf.end(), block.begin(), block.end());
  buf.resize(buf.size() + kSzddParsePadding, 0xA5);
  SzddParseScratch scratch;
  std::vector<uint32_t> items;
  SzddParseBlock(buf.data(), kSzddWindowSize, block.size(), SzddMatchFinder::kBinaryTree, &scratch, &items);

  std::vector<unsigned> longest(block.size());
  for (size_t k = 0; k < block.size(); k++) {
    unsigned d = 0;
    longest[k] = BruteLongest(buf, kSzddWindowSize, block.size(), k, &d);
  }
  uint64_t bits = 0;
  size_t k = 0;
  for (size_t i = 0; i < items.size(); i++) {
    unsigned len = SzddItemLength(items[i]);
    ASSERT_TRUE(len == 1 || (len >= kSzddMinMatch && len <= kSzddMaxMatch)) << name << " item " << i << " length " << len;
    ASSERT_LE(k + len, block.size()) << name << ": item " << i << " runs past the block's end";
    size_t p = kSzddWindowSize + k;
    if (len == 1) {
      EXPECT_EQ(block[k], items[i] & 0xFF) << name << " literal at " << k;
      bits += 9;
    } else {
      unsigned d = items[i] & 0xFFFF;
      ASSERT_TRUE(d >= 1 && d <= kSzddWindowSize) << name << " at " << k << ": distance " << d;
      for (unsigned j = 0; j < len; j++) ASSERT_EQ(buf[p - d + j], buf[p + j]) << name << " at " << k << " byte " << j;
      bits += 17;
    }
    k += len;
  }
  EXPECT_EQ(block.size(), k) << name << ": the items cover " << k << " bytes";
  EXPECT_EQ(LeastBits(longest), bits) << name << ": " << block.size() << " bytes";
}

TEST(SzddParse, BlockParseIsTheLeastOfEveryLength) {
  Bytes text = Alphabet(6000, 4, 21);
  for (size_t size : {(size_t)0, (size_t)1, (size_t)2, (size_t)3, (size_t)17, (size_t)18, (size_t)19, (size_t)3000}) {
    std::string n = " (" + std::to_string(size) + " bytes)";
    ExpectBlockParse("text after the initial spaces" + n, Bytes(), Bytes(text.begin(), text.begin() + (ptrdiff_t)size));
    ExpectBlockParse("text after text" + n, text, Bytes(text.begin(), text.begin() + (ptrdiff_t)size));
    ExpectBlockParse("a run going on across the border" + n, Cat({text, Bytes(30, 0)}), Bytes(size, 0));
    ExpectBlockParse("spaces after the initial ones" + n, Bytes(), Bytes(size, ' '));
    ExpectBlockParse("two symbols" + n, Alphabet(4000, 2, 22), Alphabet(size, 2, 23));
    ExpectBlockParse("records" + n, Records(5000), Records(size));
    ExpectBlockParse("random" + n, RandomBytes(4096, 24), RandomBytes(size, 25));
  }
}

// The writer's one-pass PutAll writes what Put writes item by item, also when a block's items
// start or end inside a group of eight.
TEST(SzddParse, PutAllWritesWhatPutWrites) {
  Rng r(41);
  std::vector<uint32_t> items;
  for (int i = 0; i < 5000; i++) {
    items.push_back(r.Next() % 3 ? SzddLiteralItem((uint8_t)r.Next())
                                 : SzddReferenceItem(kSzddMinMatch + r.Next() % 16, 1 + r.Next() % kSzddWindowSize));
  }
  SzddItemWriter one;
  for (uint32_t item : items) one.Put(item);
  for (size_t piece : {(size_t)1, (size_t)3, (size_t)8, (size_t)13, (size_t)5000}) {
    SzddItemWriter all;
    for (size_t at = 0; at < items.size(); at += piece) all.PutAll(items.data() + at, std::min(piece, items.size() - at));
    ASSERT_EQ(one.out.size(), all.out.size()) << "pieces of " << piece;
    size_t at = std::mismatch(one.out.begin(), one.out.end(), all.out.begin()).first - one.out.begin();
    EXPECT_EQ(one.out.size(), at) << "pieces of " << piece << ": first different byte at " << at;
    EXPECT_EQ(one.Final(), all.Final()) << "pieces of " << piece;
  }
}

}  // namespace
