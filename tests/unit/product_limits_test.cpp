// The installer's size limit, with sizes faked rather than gigabytes written.
#include <gtest/gtest.h>

#include "tools/payload/limits.h"

namespace {

TEST(ProductLimits, InstallerImage) {
  struct Case {
    uint64_t bytes;
    bool refused;
  } cases[] = {{0, false}, {453ull << 20, false}, {kMaxInstallerBytes, false}, {kMaxInstallerBytes + 1, true},
               {4ull << 30, true}};
  for (const Case& c : cases) {
    std::string error = InstallerSizeError(c.bytes);
    EXPECT_EQ(c.refused, !error.empty()) << c.bytes;
    if (c.refused) {
      EXPECT_NE(std::string::npos, error.find(std::to_string(c.bytes))) << error;
    }
  }
}

TEST(ProductLimits, PayloadThatMayNotFit) {
  const uint64_t other = 100000;
  // The largest payload whose worst compression still fits, and one byte more.
  uint64_t fits = (kMaxInstallerBytes - other - 15) * 8 / 9;
  EXPECT_EQ("", PayloadSizeWarning(fits, other));
  EXPECT_EQ("", PayloadSizeWarning(1200ull << 20, other));
  std::string w = PayloadSizeWarning(3ull << 30, other);
  EXPECT_NE(std::string::npos, w.find(std::to_string(kMaxInstallerBytes - other))) << w;
  EXPECT_NE("", PayloadSizeWarning(fits + 9, other));
}

}  // namespace
