#include "common/format/szdd.h"

#include <string.h>

const unsigned char kSzddMagic[8] = {'S', 'Z', 'D', 'D', 0x88, 0xF0, 0x27, 0x33};

SzddStatus SzddReadHeader(const unsigned char* data, size_t size, unsigned* expandedLength) {
  if (size < kSzddHeaderSize || memcmp(data, kSzddMagic, sizeof kSzddMagic) != 0) return kSzddNotCompressed;
  if (data[8] != 'A') return kSzddUnknownMode;
  *expandedLength = (unsigned)data[10] | (unsigned)data[11] << 8 | (unsigned)data[12] << 16 |
                    (unsigned)data[13] << 24;
  return kSzddOk;
}

void SzddWriteHeader(unsigned expandedLength, unsigned char header[14]) {
  memcpy(header, kSzddMagic, sizeof kSzddMagic);
  header[8] = 'A';
  header[9] = 0;
  for (int i = 0; i < 4; i++) header[10 + i] = (unsigned char)(expandedLength >> (8 * i));
}

namespace {

inline void Copy4(unsigned char* to, const unsigned char* from) {
  unsigned w;
  memcpy(&w, from, 4);
  memcpy(to, &w, 4);
}

// One reference in the fast path: out[k..k+len) from d bytes back, where d <= k, so the
// window's initial spaces are never involved. With d >= 4 every word read lies wholly
// before the word being written, so a word copy gives the same bytes as a byte copy.
inline unsigned char* CopyMatch(unsigned char* to, size_t d, size_t len) {
  const unsigned char* from = to - d;
  if (d >= 4) {
    for (size_t i = 0; i < len; i += 4) Copy4(to + i, from + i);
  } else {
    for (size_t i = 0; i < len; i++) to[i] = from[i];
  }
  return to + len;
}

}  // namespace

unsigned char* SzddFastGroup(const unsigned char** input, unsigned char* o, size_t k) {
  const unsigned char* in = *input;
  unsigned flags = *in++;
  if (flags == 0xFF) {
    memcpy(o, in, 8);
    *input = in + 8;
    return o + 8;
  }
  const unsigned char* start = o;
  for (int bit = 0; bit < 8; bit++, flags >>= 1) {
    if (flags & 1) {
      *o++ = *in++;
    } else {
      unsigned p = in[0] | (unsigned)(in[1] & 0xF0) << 4;
      size_t len = (in[1] & 0x0F) + kSzddMinMatch;
      in += 2;
      size_t at = k + (size_t)(o - start);
      size_t d = (kSzddWindowStart + at - p) & (kSzddWindowSize - 1);
      if (d == 0) d = kSzddWindowSize;
      o = CopyMatch(o, d, len);
    }
  }
  *input = in;
  return o;
}

// The window is never kept: output byte k lies at window position (4080 + k) mod 4096, so a
// reference at output k to window position p reaches back d = (4080 + k - p) mod 4096 bytes
// (4096 when that is 0). A byte before the start of the output is one of the initial spaces.
SzddStatus SzddExpand(const unsigned char* data, size_t size, unsigned char* out, size_t outSize,
                      size_t* produced) {
  size_t k = 0;
  if (produced) *produced = 0;
  unsigned expanded = 0;
  SzddStatus header = SzddReadHeader(data, size, &expanded);
  if (header != kSzddOk) return header;

  const unsigned char* in = data + kSzddHeaderSize;
  const unsigned char* end = data + size;
  SzddStatus status = kSzddOk;
  while (in < end) {
    // Fast path: past the first window's worth of output (every reference then lies inside
    // the output) and far from both ends.
    if (k >= kSzddWindowSize && (size_t)(end - in) >= kSzddFastInRoom && outSize - k >= kSzddFastOutRoom) {
      k = (size_t)(SzddFastGroup(&in, out + k, k) - out);
      continue;
    }
    unsigned flags = *in++;
    for (int bit = 0; bit < 8; bit++, flags >>= 1) {
      if (flags & 1) {
        if (in >= end) goto done;
        if (k >= outSize) { status = kSzddOverlong; goto done; }
        out[k++] = *in++;
      } else {
        if (end - in < 2) goto done;
        unsigned p = in[0] | (unsigned)(in[1] & 0xF0) << 4;
        size_t len = (in[1] & 0x0F) + kSzddMinMatch;
        in += 2;
        size_t d = (kSzddWindowStart + k - p) & (kSzddWindowSize - 1);
        if (d == 0) d = kSzddWindowSize;
        if (len > outSize - k) {
          // Produce what fits, as the platform would, and refuse the stream.
          len = outSize - k;
          status = kSzddOverlong;
        }
        for (size_t i = 0; i < len; i++, k++) out[k] = k >= d ? out[k - d] : ' ';
        if (status != kSzddOk) goto done;
      }
    }
  }
done:
  if (produced) *produced = k;
  if (status == kSzddOk && k < outSize) status = kSzddTruncated;
  return status;
}
