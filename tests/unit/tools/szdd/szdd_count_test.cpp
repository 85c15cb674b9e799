// The counted expansion: the same status and length as the real expansion, for streams
// cut and lengthened around their end, and no memory for what a header claims.
#include "tools/szdd/count.h"

#include <gtest/gtest.h>

#include <vector>


namespace {

std::vector<unsigned char> Stream(size_t n, unsigned claimed) {
  std::vector<unsigned char> s(kSzddHeaderSize);
  SzddWriteHeader(claimed, s.data());
  for (size_t i = 0; i < n; i += 4) {
    s.push_back(0x05);  // literal, reference, literal, reference
    s.push_back('a');
    s.push_back(0x00);
    s.push_back(0x0F);
    s.push_back('b');
    s.push_back(0x10);
    s.push_back(0x02);
  }
  return s;
}

TEST(SzddCount, AgreesWithTheExpansion) {
  for (size_t groups : {0, 1, 2, 7}) {
    for (unsigned claimed : {0u, 1u, 18u, 23u, 38u, 100u, 200u}) {
      std::vector<unsigned char> full = Stream(groups * 4, claimed);
      for (size_t cut = kSzddHeaderSize - 1; cut <= full.size(); cut++) {
        uint64_t counted = 0;
        SzddStatus got = SzddCount(full.data(), cut, &counted);
        unsigned expanded = 0;
        std::vector<unsigned char> out(claimed);
        size_t produced = 0;
        SzddStatus want = SzddExpand(full.data(), cut, out.data(), out.size(), &produced);
        if (SzddReadHeader(full.data(), cut, &expanded) != kSzddOk) produced = 0;
        EXPECT_EQ(want, got) << groups << " groups, claimed " << claimed << ", cut at " << cut;
        EXPECT_EQ(produced, counted) << groups << " groups, claimed " << claimed << ", cut at " << cut;
      }
    }
  }
}

TEST(SzddCount, HugeClaimsCostNothing) {
  for (unsigned claimed : {1u << 30, 0xFFFFFFFFu}) {
    std::vector<unsigned char> s = Stream(8, claimed);
    uint64_t counted = 0;
    EXPECT_EQ(kSzddTruncated, SzddCount(s.data(), s.size(), &counted));
    EXPECT_EQ(2u * (1 + 18 + 1 + 5), counted);
  }
}

}  // namespace
