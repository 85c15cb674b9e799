#include "tools/szdd/compress.h"

#include <stdint.h>
#include <string.h>

#include <algorithm>

#include "common/format/szdd.h"

namespace {

const uint32_t kNone = 0xFFFFFFFFu;
const size_t kPrefix = kSzddWindowSize;         // the initial spaces, seen as bytes before the data
const size_t kMaxDistance = kSzddWindowSize;    // a reference reaches back 1 to 4096 bytes
// Tree nodes by position modulo a power of two above the window: a slot is reused only by a
// position more than 4096 bytes later, when its node can no longer be reached.
const uint32_t kCycle = 2 * kSzddWindowSize;
// Few enough heads to stay in the first-level cache; a tree may then hold several three-byte
// beginnings, which costs little since it is sorted by the bytes themselves.
const unsigned kHashBits = 13;

// The data with the window's initial spaces in front (position kPrefix + k is data byte k)
// and the padding that the parse reads beyond the end.
std::vector<uint8_t> WithPrefix(const uint8_t* data, size_t size) {
  std::vector<uint8_t> v;
  v.reserve(kPrefix + size + kSzddParsePadding);
  v.assign(kPrefix, ' ');
  v.insert(v.end(), data, data + size);
  v.resize(v.size() + kSzddParsePadding, 0);
  return v;
}

unsigned Limit(size_t n, size_t p) { return (unsigned)std::min<size_t>(kSzddMaxMatch, n - p); }

// Where the finders put their results: position `start` + k of the buffer is entry k.
struct MatchOut {
  uint8_t* length;
  uint16_t* distance;
};

inline uint32_t Load32(const uint8_t* p) {
  uint32_t x;
  memcpy(&x, p, 4);
  return x;
}

inline uint64_t Load64(const uint8_t* p) {
  uint64_t x;
  memcpy(&x, p, 8);
  return x;
}

inline unsigned TreeHash(const uint8_t* p) { return (Load32(p) & 0xFFFFFFu) * 2654435761u >> (32 - kHashBits); }

// Bytes in common at a and b from `len` on, a word at a time; at least `limit` when they agree
// that far (the caller caps it). Reads up to 8 bytes beyond limit - 1.
inline unsigned CommonFrom(const uint8_t* a, const uint8_t* b, unsigned len, unsigned limit) {
  for (;;) {
    uint64_t x = Load64(a + len) ^ Load64(b + len);
    if (x) return len + (unsigned)__builtin_ctzll(x) / 8;
    len += 8;
    if (len >= limit) return len;
  }
}

// Binary trees of the window's suffixes (compared up to the length limit), one tree per hash
// of the first three bytes (a tree may hold suffixes of several three-byte beginnings: it is
// sorted by the bytes themselves, so the walk stays exact). Inserting a position walks from
// the root to its place, passing the suffixes that sort nearest to it on either side, which
// include the longest match; the walk rebuilds the tree around the new position as it goes,
// and drops nodes that left the window. The new position becomes the root, so a node is
// always newer than the nodes below it. v must have kSzddParsePadding bytes after n.
void FindBinaryTree(const uint8_t* v, size_t n, size_t start, std::vector<uint32_t>& headVec,
                    std::vector<uint32_t>& sonVec, MatchOut out) {
  headVec.assign(1u << kHashBits, kNone);
  sonVec.assign(2 * kCycle, kNone);
  uint32_t* head = headVec.data();
  uint32_t* son = sonVec.data();
  unsigned hNext = n >= kSzddMinMatch ? TreeHash(v) : 0;
  for (size_t p = 0; p + kSzddMinMatch <= n; p++) {
    unsigned limit = Limit(n, p);
    const uint8_t* cur = v + p;
    unsigned h = hNext;
    // The next position's head is fetched while this one walks (the padding covers the read).
    hNext = TreeHash(cur + 1);
    __builtin_prefetch(&head[hNext]);
    uint32_t candidate = head[h];
    head[h] = (uint32_t)p;
    // A node's pair holds its smaller subtree, then its greater one. left receives the next
    // suffix found smaller than the new one, right the next found greater.
    uint32_t* left = &son[2 * (p & (kCycle - 1))];
    uint32_t* right = left + 1;
    unsigned lenLeft = 0, lenRight = 0;
    unsigned bestLen = 0, bestDistance = 0;
    for (;;) {
      if (candidate == kNone || p - candidate > kMaxDistance) {
        *left = *right = kNone;
        break;
      }
      size_t delta = p - candidate;
      uint32_t* pair = &son[2 * (candidate & (kCycle - 1))];
      const uint8_t* pb = cur - delta;
      unsigned len = CommonFrom(pb, cur, std::min(lenLeft, lenRight), limit);
      if (len >= limit) {
        // The candidate equals the new suffix as far as suffixes are compared: the new
        // position takes its place and its subtrees.
        bestLen = limit;
        bestDistance = (unsigned)delta;
        *left = pair[0];
        *right = pair[1];
        break;
      }
      if (len > bestLen) {
        bestLen = len;
        bestDistance = (unsigned)delta;
      }
      // Without branches: which side the candidate goes to is unpredictable.
      bool smaller = pb[len] < cur[len];
      *(smaller ? left : right) = candidate;
      uint32_t* next = smaller ? pair + 1 : pair;
      left = smaller ? next : left;
      right = smaller ? right : next;
      lenLeft = smaller ? len : lenLeft;
      lenRight = smaller ? lenRight : len;
      candidate = *next;
    }
    if (p >= start) {
      bool found = bestLen >= kSzddMinMatch;
      out.length[p - start] = found ? (uint8_t)bestLen : 0;
      out.distance[p - start] = found ? (uint16_t)bestDistance : 0;
    }
  }
}

void FindHashChain(const uint8_t* v, size_t n, size_t start, MatchOut out) {
  std::vector<uint32_t> head(1 << 16, kNone);
  std::vector<uint32_t> prev(n, kNone);
  for (size_t p = 0; p + kSzddMinMatch <= n; p++) {
    const uint8_t* cur = v + p;
    unsigned key = cur[0] | cur[1] << 8;
    if (p >= start) {
      unsigned limit = Limit(n, p);
      SzddMatch best = {0, 0};
      for (uint32_t c = head[key]; c != kNone && p - c <= kMaxDistance; c = prev[c]) {
        const uint8_t* pb = v + c;
        unsigned len = 2;
        while (len < limit && pb[len] == cur[len]) len++;
        if (len >= kSzddMinMatch && len > best.length) {
          best.length = (uint8_t)len;
          best.distance = (uint16_t)(p - c);
          if (len == limit) break;
        }
      }
      out.length[p - start] = best.length;
      out.distance[p - start] = best.distance;
    }
    prev[p] = head[key];
    head[key] = (uint32_t)p;
  }
}

void FindBruteForce(const uint8_t* v, size_t n, size_t start, MatchOut out) {
  for (size_t p = start; p + kSzddMinMatch <= n; p++) {
    unsigned limit = Limit(n, p);
    SzddMatch best = {0, 0};
    for (size_t d = 1; d <= kMaxDistance && d <= p; d++) {
      unsigned len = 0;
      while (len < limit && v[p - d + len] == v[p + len]) len++;
      if (len >= kSzddMinMatch && len > best.length) best = {(uint8_t)len, (uint16_t)d};
    }
    out.length[p - start] = best.length;
    out.distance[p - start] = best.distance;
  }
}

// Every position's longest match within buf[0, n), for positions from start on. The last
// two positions have none.
void FindMatches(const uint8_t* v, size_t n, size_t start, SzddMatchFinder finder, SzddParseScratch* s) {
  size_t size = n - start;
  // Sized without clearing (the scratch keeps its size from block to block): the finders
  // write every position but the last two, which have no match.
  s->length.resize(size);
  s->distance.resize(size);
  for (size_t k = size > 2 ? size - 2 : 0; k < size; k++) s->length[k] = 0, s->distance[k] = 0;
  MatchOut out = {s->length.data(), s->distance.data()};
  switch (finder) {
    case SzddMatchFinder::kHashChain: FindHashChain(v, n, start, out); break;
    case SzddMatchFinder::kBruteForce: FindBruteForce(v, n, start, out); break;
    default: FindBinaryTree(v, n, start, s->head, s->son, out); break;
  }
}

// The shortest path from each position to the end, computed backwards: cost[k] holds the bits
// from k to the end, modulo 2^32 (the candidates compared at one position lie within 17 * 18
// bits of each other, so their differences stay exact whatever the stream's length). Only the
// costs are kept here; the walk forward finds again which item gave each.
//
// A reference from k may end anywhere in k + 3 .. k + length[k], all at 17 bits, so only the
// least cost in that range matters. Since a match at k continues at k + 1 one byte shorter,
// k + length[k] never grows as k goes down, and the range slides: a queue keeps the positions
// that can still be its least (costs rising towards the newest), each entering and leaving
// once. Should the range ever grow, the queue starts again from it, so the result is exact
// for any lengths.
inline bool Below(uint32_t a, uint32_t b) { return (int32_t)(a - b) < 0; }

void ShortestPath(SzddParseScratch* s) {
  size_t size = s->length.size();
  s->cost.resize(size + 1);
  s->cost[size] = 0;
  uint32_t* cost = s->cost.data();
  const uint8_t* length = s->length.data();
  size_t queue[32];  // positions, a ring: the newest (lowest) at front, the least cost at back - 1
  unsigned front = 0, back = 0;
  size_t added = 0, lastHi = 0;  // positions from added on have entered; the range's end
  for (size_t k = size; k-- > 0;) {
    uint32_t best = cost[k + 1] + 9;
    unsigned n = length[k];
    if (n >= kSzddMinMatch) {
      size_t lo = k + kSzddMinMatch, hi = k + n;
      if (front == back || hi > lastHi) {
        front = back = 0;
        added = hi + 1;
      }
      while (added > lo) {
        size_t j = --added;
        while (front != back && !Below(cost[queue[front & 31]], cost[j])) front++;
        queue[--front & 31] = j;
      }
      while (queue[(back - 1) & 31] > hi) back--;
      lastHi = hi;
      uint32_t r = cost[queue[(back - 1) & 31]] + 17;
      if (Below(r, best)) best = r;
    } else {
      front = back;
    }
    cost[k] = best;
  }
}

void WalkPath(const uint8_t* data, const SzddParseScratch& s, std::vector<uint32_t>* items) {
  items->clear();
  size_t size = s.length.size();
  const uint32_t* cost = s.cost.data();
  for (size_t k = 0; k < size;) {
    unsigned take = 1;
    if (cost[k] != 9 + cost[k + 1]) {
      for (take = kSzddMinMatch; take < s.length[k] && cost[k] != 17 + cost[k + take]; take++) {}
    }
    items->push_back(take == 1 ? SzddLiteralItem(data[k]) : SzddReferenceItem(take, s.distance[k]));
    k += take;
  }
}

std::vector<uint8_t> Encode(size_t size, const std::vector<uint32_t>& items) {
  SzddItemWriter w;
  w.out.reserve(kSzddHeaderSize + size + size / 8 + 16);
  w.out.resize(kSzddHeaderSize);
  SzddWriteHeader((unsigned)size, w.out.data());
  w.PutAll(items.data(), items.size());
  return std::move(w.out);
}

}  // namespace

void SzddItemWriter::Put(uint32_t item) {
  if (bit_ == 8) {
    flagAt_ = out.size();
    out.push_back(0);
    bit_ = 0;
  }
  unsigned len = SzddItemLength(item);
  if (len == 1) {
    out[flagAt_] |= (uint8_t)(1u << bit_);
    out.push_back((uint8_t)item);
  } else {
    unsigned distance = item & 0xFFFF;
    unsigned pos = (unsigned)(kSzddWindowStart + k_ - distance) & (kSzddWindowSize - 1);
    out.push_back((uint8_t)(pos & 0xFF));
    out.push_back((uint8_t)(((pos >> 4) & 0xF0) | (len - kSzddMinMatch)));
  }
  bit_++;
  k_ += len;
}

void SzddItemWriter::PutAll(const uint32_t* items, size_t count) {
  // At most two bytes per item and a flag byte per eight: written through a pointer into room
  // made once, then trimmed.
  size_t at = out.size();
  out.resize(at + 2 * count + count / 8 + 2);
  uint8_t* o = out.data();
  size_t flagAt = flagAt_;
  unsigned bit = bit_;
  uint64_t k = k_;
  for (size_t i = 0; i < count; i++) {
    uint32_t item = items[i];
    if (bit == 8) {
      flagAt = at;
      o[at++] = 0;
      bit = 0;
    }
    unsigned len = SzddItemLength(item);
    if (len == 1) {
      o[flagAt] |= (uint8_t)(1u << bit);
      o[at++] = (uint8_t)item;
    } else {
      unsigned distance = item & 0xFFFF;
      unsigned pos = (unsigned)(kSzddWindowStart + k - distance) & (kSzddWindowSize - 1);
      o[at++] = (uint8_t)(pos & 0xFF);
      o[at++] = (uint8_t)(((pos >> 4) & 0xF0) | (len - kSzddMinMatch));
    }
    bit++;
    k += len;
  }
  out.resize(at);
  flagAt_ = flagAt;
  bit_ = bit;
  k_ = k;
}

void SzddItemWriter::Drop(size_t n) {
  out.erase(out.begin(), out.begin() + (ptrdiff_t)n);
  flagAt_ -= std::min(flagAt_, n);
}

void SzddParseBlock(const uint8_t* buf, size_t context, size_t size, SzddMatchFinder finder,
                    SzddParseScratch* scratch, std::vector<uint32_t>* items) {
  FindMatches(buf, context + size, context, finder, scratch);
  ShortestPath(scratch);
  WalkPath(buf + context, *scratch, items);
}

std::vector<SzddMatch> SzddFindLongestMatches(const uint8_t* data, size_t size, SzddMatchFinder finder) {
  std::vector<uint8_t> v = WithPrefix(data, size);
  SzddParseScratch s;
  FindMatches(v.data(), kPrefix + size, kPrefix, finder, &s);
  std::vector<SzddMatch> out(size);
  for (size_t k = 0; k < size; k++) out[k] = {s.length[k], s.distance[k]};
  return out;
}

std::vector<uint8_t> SzddCompress(const uint8_t* data, size_t size, SzddMatchFinder finder) {
  std::vector<uint8_t> v = WithPrefix(data, size);
  SzddParseScratch s;
  std::vector<uint32_t> items;
  SzddParseBlock(v.data(), kPrefix, size, finder, &s, &items);
  return Encode(size, items);
}

std::vector<uint8_t> SzddCompressLazy(const uint8_t* data, size_t size) {
  std::vector<SzddMatch> matches = SzddFindLongestMatches(data, size, SzddMatchFinder::kBinaryTree);
  std::vector<uint32_t> items;
  for (size_t k = 0; k < size;) {
    unsigned len = matches[k].length;
    if (len >= kSzddMinMatch && !(k + 1 < size && matches[k + 1].length > len)) {
      items.push_back(SzddReferenceItem(len, matches[k].distance));
      k += len;
    } else {
      items.push_back(SzddLiteralItem(data[k]));
      k++;
    }
  }
  return Encode(size, items);
}
