#include "common/format/crc32.h"

namespace {

// Slicing by four: four tables of 256 entries, made on first use (1 KB of code would be
// more than the 4 KB of zero-filled data that the tables cost in memory, and nothing on disk).
uint32_t g_table[4][256];
bool g_ready = false;

void MakeTables() {
  for (uint32_t i = 0; i < 256; i++) {
    uint32_t c = i;
    for (int k = 0; k < 8; k++) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
    g_table[0][i] = c;
  }
  for (uint32_t i = 0; i < 256; i++) {
    for (int t = 1; t < 4; t++) g_table[t][i] = (g_table[t - 1][i] >> 8) ^ g_table[0][g_table[t - 1][i] & 0xFF];
  }
  g_ready = true;
}

}  // namespace

uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc) {
  if (!g_ready) MakeTables();
  uint32_t c = ~crc;
  while (size >= 4) {
    c ^= (uint32_t)data[0] | (uint32_t)data[1] << 8 | (uint32_t)data[2] << 16 | (uint32_t)data[3] << 24;
    c = g_table[3][c & 0xFF] ^ g_table[2][(c >> 8) & 0xFF] ^ g_table[1][(c >> 16) & 0xFF] ^ g_table[0][c >> 24];
    data += 4;
    size -= 4;
  }
  while (size--) c = (c >> 8) ^ g_table[0][(c ^ *data++) & 0xFF];
  return ~c;
}
