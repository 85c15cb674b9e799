#include "common/format/payload_checksum.h"

#include "common/format/crc32.h"

namespace {

const char kDigits[] = "0123456789ABCDEF";

int DigitValue(uint8_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

bool ParseChecksum(const uint8_t* text, size_t size, uint32_t* value) {
  if (size != kChecksumDigits) return false;
  uint32_t v = 0;
  for (size_t i = 0; i < size; i++) {
    int d = DigitValue(text[i]);
    if (d < 0) return false;
    v = v << 4 | (uint32_t)d;
  }
  *value = v;
  return true;
}

void FormatChecksum(uint32_t value, char out[kChecksumDigits + 1]) {
  for (size_t i = 0; i < kChecksumDigits; i++) out[i] = kDigits[(value >> (4 * (kChecksumDigits - 1 - i))) & 0xF];
  out[kChecksumDigits] = 0;
}

ChecksumVerdict CheckPayloadChecksum(const uint8_t* text, size_t textSize, const uint8_t* fileList,
                                     size_t fileListSize, const uint8_t* data, size_t dataSize) {
  uint32_t expected;
  if (!ParseChecksum(text, textSize, &expected)) return kChecksumMalformed;
  uint32_t crc = Crc32(data, dataSize, Crc32(fileList, fileListSize));
  return crc == expected ? kChecksumMatches : kChecksumDiffers;
}
