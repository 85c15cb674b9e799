#pragma once
// The payload checksum: the FILES resource CHECKSUM holds exactly eight upper-case
// hexadecimal digits, nothing else (no line end), of the CRC-32 (common/format/crc32.h) of the
// FILELIST resource's bytes followed by the DATA resource's bytes. Other tools may write
// it, so the form is kept exact. No platform headers.
#include <stddef.h>
#include <stdint.h>

const size_t kChecksumDigits = 8;

enum ChecksumVerdict {
  kChecksumMatches,
  kChecksumDiffers,
  kChecksumMalformed,  // not eight upper-case hexadecimal digits: damaged as well
};

// Reads the checksum text; false unless it is exactly kChecksumDigits characters of
// 0-9 and A-F.
bool ParseChecksum(const uint8_t* text, size_t size, uint32_t* value);

// Writes the eight digits of value and a terminator into out.
void FormatChecksum(uint32_t value, char out[kChecksumDigits + 1]);

// Compares the checksum text with the CRC-32 of fileList followed by data (either may be
// empty: a missing resource counts as no bytes).
ChecksumVerdict CheckPayloadChecksum(const uint8_t* text, size_t textSize, const uint8_t* fileList,
                                     size_t fileListSize, const uint8_t* data, size_t dataSize);
