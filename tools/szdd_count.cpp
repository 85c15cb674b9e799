#include "tools/szdd_count.h"

SzddStatus SzddCount(const unsigned char* data, size_t size, uint64_t* produced) {
  *produced = 0;
  unsigned expanded = 0;
  SzddStatus header = SzddReadHeader(data, size, &expanded);
  if (header != kSzddOk) return header;
  const unsigned char* in = data + kSzddHeaderSize;
  const unsigned char* end = data + size;
  uint64_t k = 0;
  SzddStatus status = kSzddOk;
  while (in < end && status == kSzddOk) {
    unsigned flags = *in++;
    for (int bit = 0; bit < 8; bit++, flags >>= 1) {
      if (flags & 1) {
        if (in >= end) break;
        if (k >= expanded) {
          status = kSzddOverlong;
          break;
        }
        in++;
        k++;
      } else {
        if (end - in < 2) {
          in = end;
          break;
        }
        uint64_t len = (in[1] & 0x0F) + kSzddMinMatch;
        in += 2;
        if (len > expanded - k) {
          k = expanded;
          status = kSzddOverlong;
          break;
        }
        k += len;
      }
    }
  }
  *produced = k;
  if (status == kSzddOk && k < expanded) status = kSzddTruncated;
  return status;
}
