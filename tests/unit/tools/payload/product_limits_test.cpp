// The installer's size limit, with sizes faked rather than gigabytes written.
#include <gtest/gtest.h>

#include "tools/payload/limits.h"

#include <stdlib.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tools/orv/product.h"
#include "tools/payload/pack.h"

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


// orv check's answer on the installer's size, the same as orv build's, on a real payload
// with the limit brought down to it: a payload that fits at its worst is not compressed; one
// that might not is compressed and counted, and refused only when it really does not fit.
TEST(ProductLimits, CheckedAsTheBuildWouldSayIt) {
  char dirName[] = "/tmp/orv-limits-XXXXXX";
  ASSERT_NE(nullptr, mkdtemp(dirName));
  std::string dir = dirName;
  // Incompressible bytes (a fixed pseudo-random sequence) and a run that compresses well.
  std::vector<uint8_t> noise(150000), run(150000, 'a');
  uint32_t x = 12345;
  for (uint8_t& b : noise) b = (x = x * 1103515245 + 12345) >> 24;
  std::string error;
  ASSERT_TRUE(WriteFileWhole(dir + "/noise.bin", noise, false, &error));
  ASSERT_TRUE(WriteFileWhole(dir + "/run.txt", run, false, &error));
  Product product;
  product.script = "[Lines]\r\n";
  product.licence = "Licence\r\n";
  ASSERT_TRUE(PlanPack(dir, {}, &product.plan, &error)) << error;
  ASSERT_EQ(300000u, product.plan.dataSize);

  PackPlan planCopy = product.plan;
  uint64_t dataSize = 0;
  ASSERT_TRUE(CountPackData(planCopy, PackOptions(), &dataSize, &error)) << error;
  uint64_t other = 40000 + product.script.size() + product.licence.size() + product.plan.fileList.size() + 8;
  uint64_t exact = other + dataSize;  // the sum orv build compares with the limit
  ASSERT_LT(dataSize, 300000u);       // the run compresses
  uint64_t worst = other + 300000 + 300000 / 8 + 15;

  struct Case {
    uint64_t limit;
    bool refused;
  } cases[] = {{worst + 1, false}, {exact, false}, {exact - 1, true}, {other, true}};
  for (const Case& c : cases) {
    std::string tooLarge;
    ASSERT_TRUE(InstallerSizeCheck(product, 40000, c.limit, &tooLarge, &error)) << error;
    EXPECT_EQ(c.refused, !tooLarge.empty()) << c.limit << " " << tooLarge;
    if (c.refused) {
      EXPECT_EQ(InstallerSizeError(exact, c.limit), tooLarge);
    }
  }

  // A payload file gone between the plan and the count: an error, not a pass.
  ASSERT_EQ(0, unlink((dir + "/noise.bin").c_str()));
  std::string tooLarge;
  EXPECT_FALSE(InstallerSizeCheck(product, 40000, exact - 1, &tooLarge, &error));
  EXPECT_NE(std::string::npos, error.find("noise.bin")) << error;
  unlink((dir + "/run.txt").c_str());
  rmdir(dirName);
}

}  // namespace
