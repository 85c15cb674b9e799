#include "tools/szdd_compress.h"

#include <string.h>

#include <algorithm>

#include "install/logic/szdd.h"

namespace {

const uint32_t kNone = 0xFFFFFFFFu;
const size_t kPrefix = kSzddWindowSize;         // the initial spaces, seen as bytes before the data
const size_t kMaxDistance = kSzddWindowSize;    // a reference reaches back 1 to 4096 bytes
const uint32_t kCycle = kSzddWindowSize + 1;    // tree nodes alive at once: every reachable position

// The data with the window's initial spaces in front: position kPrefix + k is data byte k.
std::vector<uint8_t> WithPrefix(const uint8_t* data, size_t size) {
  std::vector<uint8_t> v;
  v.reserve(kPrefix + size);
  v.assign(kPrefix, ' ');
  v.insert(v.end(), data, data + size);
  return v;
}

unsigned Limit(size_t n, size_t p) { return (unsigned)std::min<size_t>(kSzddMaxMatch, n - p); }

// Binary trees of the window's suffixes (compared up to the length limit), one tree per first
// two bytes. Inserting a position walks from the root to its place, passing the suffixes
// that sort nearest to it on either side, which include the longest match; the walk rebuilds
// the tree around the new position as it goes, and drops nodes that left the window.
class BinaryTree {
 public:
  explicit BinaryTree(const std::vector<uint8_t>& v) : v_(v), head_(65536, kNone), son_(2 * kCycle, kNone) {}

  SzddMatch Insert(size_t p, unsigned limit) {
    SzddMatch best = {0, 0};
    const uint8_t* cur = v_.data() + p;
    unsigned h = cur[0] | cur[1] << 8;
    uint32_t candidate = head_[h];
    head_[h] = (uint32_t)p;
    // A node's pair holds its smaller subtree, then its greater one. left receives the next
    // suffix found smaller than the new one, right the next found greater.
    uint32_t* left = &son_[2 * (p % kCycle)];
    uint32_t* right = &son_[2 * (p % kCycle) + 1];
    unsigned lenLeft = 0, lenRight = 0;
    unsigned bestLen = 0;
    for (;;) {
      if (candidate == kNone || p - candidate > kMaxDistance) {
        *left = *right = kNone;
        break;
      }
      size_t delta = p - candidate;
      uint32_t* pair = &son_[2 * (candidate % kCycle)];
      const uint8_t* pb = cur - delta;
      unsigned len = std::min(lenLeft, lenRight);
      if (pb[len] == cur[len]) {
        while (++len != limit && pb[len] == cur[len]) {}
        if (len > bestLen) {
          bestLen = len;
          best.length = (uint8_t)len;
          best.distance = (uint16_t)delta;
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
    if (best.length < kSzddMinMatch) best = {0, 0};
    return best;
  }

 private:
  const std::vector<uint8_t>& v_;
  std::vector<uint32_t> head_;
  std::vector<uint32_t> son_;
};

std::vector<SzddMatch> FindBinaryTree(const std::vector<uint8_t>& v, size_t size) {
  std::vector<SzddMatch> out(size, SzddMatch{0, 0});
  BinaryTree tree(v);
  size_t n = v.size();
  for (size_t p = 0; p + kSzddMinMatch <= n; p++) {
    SzddMatch m = tree.Insert(p, Limit(n, p));
    if (p >= kPrefix) out[p - kPrefix] = m;
  }
  return out;
}

std::vector<SzddMatch> FindHashChain(const std::vector<uint8_t>& v, size_t size) {
  std::vector<SzddMatch> out(size, SzddMatch{0, 0});
  std::vector<uint32_t> head(1 << 16, kNone);
  std::vector<uint32_t> prev(v.size(), kNone);
  size_t n = v.size();
  for (size_t p = 0; p + kSzddMinMatch <= n; p++) {
    const uint8_t* cur = v.data() + p;
    unsigned key = cur[0] | cur[1] << 8;
    if (p >= kPrefix) {
      unsigned limit = Limit(n, p);
      SzddMatch best = {0, 0};
      for (uint32_t c = head[key]; c != kNone && p - c <= kMaxDistance; c = prev[c]) {
        const uint8_t* pb = v.data() + c;
        unsigned len = 2;
        while (len < limit && pb[len] == cur[len]) len++;
        if (len >= kSzddMinMatch && len > best.length) {
          best.length = (uint8_t)len;
          best.distance = (uint16_t)(p - c);
          if (len == limit) break;
        }
      }
      out[p - kPrefix] = best;
    }
    prev[p] = head[key];
    head[key] = (uint32_t)p;
  }
  return out;
}

std::vector<SzddMatch> FindBruteForce(const std::vector<uint8_t>& v, size_t size) {
  std::vector<SzddMatch> out(size, SzddMatch{0, 0});
  size_t n = v.size();
  for (size_t k = 0; k < size; k++) {
    size_t p = kPrefix + k;
    if (p + kSzddMinMatch > n) break;
    unsigned limit = Limit(n, p);
    SzddMatch best = {0, 0};
    for (size_t d = 1; d <= kMaxDistance; d++) {
      unsigned len = 0;
      while (len < limit && v[p - d + len] == v[p + len]) len++;
      if (len >= kSzddMinMatch && len > best.length) best = {(uint8_t)len, (uint16_t)d};
    }
    out[k] = best;
  }
  return out;
}

// Writes items into the stream: a flag byte before every eight items, bit 1 for a literal.
class Writer {
 public:
  explicit Writer(size_t size) {
    out_.reserve(kSzddHeaderSize + size + size / 8 + 16);
    out_.resize(kSzddHeaderSize);
    SzddWriteHeader((unsigned)size, out_.data());
  }
  void Literal(uint8_t b) {
    Flag(true);
    out_.push_back(b);
    k_++;
  }
  void Reference(unsigned length, unsigned distance) {
    Flag(false);
    unsigned pos = (unsigned)(kSzddWindowStart + k_ - distance) & (kSzddWindowSize - 1);
    out_.push_back((uint8_t)(pos & 0xFF));
    out_.push_back((uint8_t)(((pos >> 4) & 0xF0) | (length - kSzddMinMatch)));
    k_ += length;
  }
  std::vector<uint8_t> Take() { return std::move(out_); }

 private:
  void Flag(bool literal) {
    if (bit_ == 8) {
      flagAt_ = out_.size();
      out_.push_back(0);
      bit_ = 0;
    }
    if (literal) out_[flagAt_] |= (uint8_t)(1u << bit_);
    bit_++;
  }
  std::vector<uint8_t> out_;
  size_t flagAt_ = 0;
  unsigned bit_ = 8;
  size_t k_ = 0;
};

}  // namespace

std::vector<SzddMatch> SzddFindLongestMatches(const uint8_t* data, size_t size, SzddMatchFinder finder) {
  std::vector<uint8_t> v = WithPrefix(data, size);
  switch (finder) {
    case SzddMatchFinder::kHashChain: return FindHashChain(v, size);
    case SzddMatchFinder::kBruteForce: return FindBruteForce(v, size);
    default: return FindBinaryTree(v, size);
  }
}

std::vector<uint8_t> SzddCompress(const uint8_t* data, size_t size, SzddMatchFinder finder) {
  std::vector<SzddMatch> matches = SzddFindLongestMatches(data, size, finder);
  // cost[k]: the fewest bits that encode data[k..size); step[k]: the first item's length.
  std::vector<uint64_t> cost(size + 1, 0);
  std::vector<uint8_t> step(size, 1);
  for (size_t k = size; k-- > 0;) {
    uint64_t best = 9 + cost[k + 1];
    uint8_t take = 1;
    for (unsigned len = kSzddMinMatch; len <= matches[k].length; len++) {
      uint64_t c = 17 + cost[k + len];
      if (c < best) {
        best = c;
        take = (uint8_t)len;
      }
    }
    cost[k] = best;
    step[k] = take;
  }
  Writer w(size);
  for (size_t k = 0; k < size;) {
    if (step[k] == 1) {
      w.Literal(data[k]);
      k++;
    } else {
      w.Reference(step[k], matches[k].distance);
      k += step[k];
    }
  }
  return w.Take();
}

std::vector<uint8_t> SzddCompressLazy(const uint8_t* data, size_t size) {
  std::vector<SzddMatch> matches = SzddFindLongestMatches(data, size, SzddMatchFinder::kBinaryTree);
  Writer w(size);
  for (size_t k = 0; k < size;) {
    unsigned len = matches[k].length;
    if (len >= kSzddMinMatch && !(k + 1 < size && matches[k + 1].length > len)) {
      w.Reference(len, matches[k].distance);
      k += len;
    } else {
      w.Literal(data[k]);
      k++;
    }
  }
  return w.Take();
}
