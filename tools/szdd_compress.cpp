#include "tools/szdd_compress.h"

#include <stdint.h>
#include <string.h>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <algorithm>

#include "install/logic/szdd.h"

namespace {

const uint32_t kNone = 0xFFFFFFFFu;
const size_t kPrefix = kSzddWindowSize;         // the initial spaces, seen as bytes before the data
const size_t kMaxDistance = kSzddWindowSize;    // a reference reaches back 1 to 4096 bytes
// Tree nodes by position modulo a power of two above the window: a slot is reused only by a
// position more than 4096 bytes later, when its node can no longer be reached.
const uint32_t kCycle = 2 * kSzddWindowSize;
const unsigned kHashBits = 16;

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

// Binary trees of the window's suffixes (compared up to the length limit), one tree per hash
// of the first three bytes (a tree may hold suffixes of several three-byte beginnings: it is
// sorted by the bytes themselves, so the walk stays exact). Inserting a position walks from
// the root to its place, passing the suffixes that sort nearest to it on either side, which
// include the longest match; the walk rebuilds the tree around the new position as it goes,
// and drops nodes that left the window. v must have kSzddParsePadding bytes after n.
void FindBinaryTree(const uint8_t* v, size_t n, size_t start, std::vector<uint32_t>& head, std::vector<uint32_t>& son,
                    MatchOut out) {
  head.assign(1u << kHashBits, kNone);
  son.assign(2 * kCycle, kNone);
  for (size_t p = 0; p + kSzddMinMatch <= n; p++) {
    unsigned limit = Limit(n, p);
    const uint8_t* cur = v + p;
    unsigned h = ((uint32_t)cur[0] | (uint32_t)cur[1] << 8 | (uint32_t)cur[2] << 16) * 2654435761u >> (32 - kHashBits);
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
      unsigned len = std::min(lenLeft, lenRight);
      if (pb[len] == cur[len]) {
        // Eight bytes at a time: the buffer is padded, so reading past the limit is safe.
        for (++len; len < limit; len += 8) {
          uint64_t a, b;
          memcpy(&a, pb + len, 8);
          memcpy(&b, cur + len, 8);
          if (a != b) {
            len += (unsigned)__builtin_ctzll(a ^ b) / 8;
            break;
          }
        }
        if (len > limit) len = limit;
        if (len > bestLen) {
          bestLen = len;
          bestDistance = (unsigned)delta;
          if (len == limit) {
            // The candidate equals the new suffix as far as suffixes are compared: the new
            // position takes its place and its subtrees.
            *left = pair[0];
            *right = pair[1];
            break;
          }
        }
      }
      if (pb[len] < cur[len]) {
        *left = candidate;
        left = pair + 1;
        candidate = *left;
        lenLeft = len;
      } else {
        *right = candidate;
        right = pair;
        candidate = *right;
        lenRight = len;
      }
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
  s->length.assign(size, 0);
  s->distance.assign(size, 0);
  MatchOut out = {s->length.data(), s->distance.data()};
  switch (finder) {
    case SzddMatchFinder::kHashChain: FindHashChain(v, n, start, out); break;
    case SzddMatchFinder::kBruteForce: FindBruteForce(v, n, start, out); break;
    default: FindBinaryTree(v, n, start, s->head, s->son, out); break;
  }
}

// The shortest path from each position to the end, computed backwards: cost[k] holds the bits
// from k to the end, modulo 2^32. The candidates compared at one position lie within 17 * 18
// bits of each other, so their differences stay exact whatever the stream's length. Only the
// costs are kept here, without branches; the walk forward finds again which item gave each.
// The least of 17 + cost[k + len] - base over len = 3 to n (n at least 3): one reference.
#ifdef __SSE2__
inline int32_t BestReference(const uint32_t* cost, size_t k, uint32_t base, unsigned n) {
  // The sixteen lengths at once, lanes beyond n masked out. SSE2 has no 32-bit minimum:
  // compare and select.
  const __m128i offset = _mm_set1_epi32((int32_t)(17 - base));
  const __m128i limit = _mm_set1_epi32((int32_t)n + 1);
  const __m128i big = _mm_set1_epi32(INT32_MAX);
  __m128i best = big;
  for (int i = 0; i < 4; i++) {
    __m128i c = _mm_add_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(cost + k + 3 + 4 * i)), offset);
    __m128i lens = _mm_setr_epi32(3 + 4 * i, 4 + 4 * i, 5 + 4 * i, 6 + 4 * i);
    __m128i valid = _mm_cmpgt_epi32(limit, lens);
    c = _mm_or_si128(_mm_and_si128(valid, c), _mm_andnot_si128(valid, big));
    __m128i less = _mm_cmplt_epi32(c, best);
    best = _mm_or_si128(_mm_and_si128(less, c), _mm_andnot_si128(less, best));
  }
  __m128i other = _mm_shuffle_epi32(best, _MM_SHUFFLE(1, 0, 3, 2));
  __m128i less = _mm_cmplt_epi32(other, best);
  best = _mm_or_si128(_mm_and_si128(less, other), _mm_andnot_si128(less, best));
  other = _mm_shuffle_epi32(best, _MM_SHUFFLE(2, 3, 0, 1));
  less = _mm_cmplt_epi32(other, best);
  best = _mm_or_si128(_mm_and_si128(less, other), _mm_andnot_si128(less, best));
  return _mm_cvtsi128_si32(best);
}
#else
inline int32_t BestReference(const uint32_t* cost, size_t k, uint32_t base, unsigned n) {
  int32_t best = INT32_MAX;
  for (unsigned len = kSzddMinMatch; len <= n; len++) {
    int32_t c = 17 + (int32_t)(cost[k + len] - base);
    best = c < best ? c : best;
  }
  return best;
}
#endif

void ShortestPath(SzddParseScratch* s) {
  size_t size = s->length.size();
  // Room for the sixteen costs read at once near the end; what lies there is masked out.
  s->cost.assign(size + 1 + kSzddMaxMatch, 0);
  uint32_t* cost = s->cost.data();
  const uint8_t* length = s->length.data();
  for (size_t k = size; k-- > 0;) {
    uint32_t base = cost[k + 1];
    int32_t best = 9;
    unsigned n = length[k];
    if (n >= kSzddMinMatch) {
      int32_t r = BestReference(cost, k, base, n);
      best = r < best ? r : best;
    }
    cost[k] = base + (uint32_t)best;
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
  for (uint32_t item : items) w.Put(item);
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
