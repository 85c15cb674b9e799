#include "common/format/payload_checksum.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/format/crc32.h"

namespace {

const uint8_t* Bytes(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

TEST(PayloadChecksum, ParsesOnlyTheExactForm) {
  const struct {
    std::string text;
    bool ok;
    uint32_t value;
  } cases[] = {
      {"CBF43926", true, 0xCBF43926u},  {"00000000", true, 0},          {"FFFFFFFF", true, 0xFFFFFFFFu},
      {"0123ABCD", true, 0x0123ABCDu},  {"cbf43926", false, 0},         {"CBF4392", false, 0},
      {"CBF439260", false, 0},          {"CBF43926\r\n", false, 0},     {" CBF43926", false, 0},
      {"CBF4392G", false, 0},           {"", false, 0},                 {"0x1F2E3D", false, 0},
      {std::string("CBF4\0926", 8), false, 0},
  };
  for (const auto& c : cases) {
    uint32_t value = 0xDEADBEEFu;
    EXPECT_EQ(c.ok, ParseChecksum(Bytes(c.text), c.text.size(), &value)) << "text \"" << c.text << "\"";
    if (c.ok) {
      EXPECT_EQ(c.value, value) << "text \"" << c.text << "\"";
    }
  }
}

TEST(PayloadChecksum, FormatsEightUpperCaseDigits) {
  const struct {
    uint32_t value;
    const char* text;
  } cases[] = {{0, "00000000"}, {0xCBF43926u, "CBF43926"}, {0xFFFFFFFFu, "FFFFFFFF"}, {0x0000ABCDu, "0000ABCD"}};
  for (const auto& c : cases) {
    char out[kChecksumDigits + 1];
    FormatChecksum(c.value, out);
    EXPECT_STREQ(c.text, out);
    uint32_t back = 0;
    EXPECT_TRUE(ParseChecksum(reinterpret_cast<const uint8_t*>(out), kChecksumDigits, &back)) << out;
    EXPECT_EQ(c.value, back) << out;
  }
}

TEST(PayloadChecksum, CoversFileListThenData) {
  std::string fileList = "index.html,34,1,2\r\n";
  std::string data = "SZDD\x88\xf0\x27\x33" + std::string(40, 'x');
  std::string both = fileList + data;
  char right[kChecksumDigits + 1];
  FormatChecksum(Crc32(Bytes(both), both.size()), right);
  std::string text(right);
  EXPECT_EQ(kChecksumMatches, CheckPayloadChecksum(Bytes(text), text.size(), Bytes(fileList), fileList.size(),
                                                   Bytes(data), data.size()));
  // Taken in their order: swapped, the two resources give another CRC-32.
  EXPECT_EQ(kChecksumDiffers, CheckPayloadChecksum(Bytes(text), text.size(), Bytes(data), data.size(),
                                                   Bytes(fileList), fileList.size()));
  // Every single flipped bit of either resource is seen.
  for (size_t i = 0; i < both.size() * 8; i++) {
    std::string damaged = both;
    damaged[i / 8] ^= (char)(1 << (i % 8));
    std::string f = damaged.substr(0, fileList.size()), d = damaged.substr(fileList.size());
    EXPECT_EQ(kChecksumDiffers,
              CheckPayloadChecksum(Bytes(text), text.size(), Bytes(f), f.size(), Bytes(d), d.size()))
        << "bit " << i;
  }
  std::string lower = text;
  for (char& ch : lower) ch = (char)tolower(ch);
  EXPECT_EQ(kChecksumMalformed, CheckPayloadChecksum(Bytes(lower), lower.size(), Bytes(fileList), fileList.size(),
                                                     Bytes(data), data.size()));
  // Missing resources count as no bytes.
  EXPECT_EQ(kChecksumMatches, CheckPayloadChecksum(Bytes(std::string("00000000")), 8, nullptr, 0, nullptr, 0));
}

}  // namespace
