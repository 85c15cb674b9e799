#include "common/format/crc32.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

uint32_t Of(const std::string& s) { return Crc32(reinterpret_cast<const uint8_t*>(s.data()), s.size()); }

TEST(Crc32, KnownValues) {
  struct Case {
    std::string text;
    uint32_t crc;
  } cases[] = {
      {"", 0x00000000u},
      {"a", 0xE8B7BE43u},
      {"123456789", 0xCBF43926u},
      {"The quick brown fox jumps over the lazy dog", 0x414FA339u},
      {std::string(1000, '\0'), 0x060B1780u},
  };
  for (const Case& c : cases) EXPECT_EQ(c.crc, Of(c.text)) << "length " << c.text.size();
}

TEST(Crc32, ChainsOverEverySplit) {
  std::vector<uint8_t> data(37);
  for (size_t i = 0; i < data.size(); i++) data[i] = (uint8_t)(i * 131 + 7);
  uint32_t whole = Crc32(data.data(), data.size());
  for (size_t cut = 0; cut <= data.size(); cut++) {
    EXPECT_EQ(whole, Crc32(data.data() + cut, data.size() - cut, Crc32(data.data(), cut))) << "cut at " << cut;
  }
}

}  // namespace
