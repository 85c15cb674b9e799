#pragma once
// CRC-32 with the polynomial of zlib and PNG (reflected 0xEDB88320, initial and final
// value 0xFFFFFFFF). Chains: Crc32(b, nb, Crc32(a, na)) is the CRC of a followed by b.
#include <stddef.h>
#include <stdint.h>

uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc = 0);
