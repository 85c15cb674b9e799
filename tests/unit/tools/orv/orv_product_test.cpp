// The publisher's command: the CHECKSUM text, an installer assembled from a stub, files
// written whole, the reproducible time stamp.
#include "tools/orv/product.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/unit/synthetic_pe.h"

namespace {

std::vector<uint8_t> B(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

TEST(OrvChecksum, CrcOfFileListThenData) {
  struct Case { std::string list, data, want; } cases[] = {
      {"12345", "6789", "CBF43926"},  // the CRC-32 check value of "123456789"
      {"", "123456789", "CBF43926"},
      {"", "", "00000000"},
      {"a,1.00000001,00000000\r\n", "", "61B4FAD2"},  // zlib.crc32 of the same line
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.want, FilesChecksum(c.list, B(c.data))) << "list '" << c.list << "' data '" << c.data << "'";
  }
}

TEST(OrvAssemble, FilesTakeTheStubsLanguageAndReplaceOldOnes) {
  std::vector<Resource> stubResources;
  for (uint16_t id : {103, 104, 106}) {
    Resource r;
    r.type = ResourceId::Number(kResourceDialog);
    r.name = ResourceId::Number(id);
    r.language = 0x809;
    r.data = B("dialog");
    stubResources.push_back(r);
  }
  std::vector<uint8_t> stub = MakePe(stubResources, false), once, twice;
  std::string error;
  ASSERT_TRUE(AssembleInstaller(stub, {{"SCRIPT", B("s1")}, {"DATA", B("")}}, 0, &once, &error)) << error;
  ASSERT_TRUE(AssembleInstaller(once, {{"SCRIPT", B("s2 longer")}}, 99, &twice, &error)) << error;
  PeImage pe;
  std::vector<Resource> got;
  ASSERT_TRUE(ParsePe(twice.data(), twice.size(), &pe, &error));
  ASSERT_TRUE(ReadResources(twice.data(), twice.size(), pe, &got, &error)) << error;
  ASSERT_EQ(5u, got.size());
  const Resource* script = FindResourceIn(got, ResourceId::Name("FILES"), ResourceId::Name("SCRIPT"));
  const Resource* data = FindResourceIn(got, ResourceId::Name("FILES"), ResourceId::Name("DATA"));
  ASSERT_TRUE(script && data);
  EXPECT_EQ("s2 longer", std::string(script->data.begin(), script->data.end()));
  EXPECT_EQ(0x809, script->language);
  EXPECT_TRUE(data->data.empty());
  EXPECT_EQ(99u, GetU32(&twice[pe.TimeStampOffset()]));
}

TEST(OrvAssemble, NotAPeRefused) {
  std::vector<uint8_t> out;
  std::string error;
  EXPECT_FALSE(AssembleInstaller(B("just text, no program"), {{"SCRIPT", B("s")}}, 0, &out, &error));
  EXPECT_NE(std::string::npos, error.find("stub: not a PE file")) << error;
}

TEST(OrvFiles, WrittenWholeAndReadBack) {
  char dir[] = "/tmp/orv-files-XXXXXX";
  ASSERT_NE(nullptr, mkdtemp(dir));
  std::string path = std::string(dir) + "/out.exe", error;
  std::vector<uint8_t> data = B("MZ contents"), back;
  ASSERT_TRUE(WriteFileWhole(path, data, true, &error)) << error;
  ASSERT_TRUE(ReadFileBytes(path, &back, &error)) << error;
  EXPECT_TRUE(back == data);
  EXPECT_EQ(0, access(path.c_str(), X_OK));
  EXPECT_FALSE(WriteFileWhole(std::string(dir) + "/no/such/dir/out.exe", data, false, &error));
  EXPECT_FALSE(ReadFileBytes(std::string(dir) + "/missing", &back, &error));
  unlink(path.c_str());
  rmdir(dir);
}

TEST(OrvTimeStamp, FromSourceDateEpoch) {
  struct Case { const char* value; bool ok; uint32_t want; } cases[] = {
      {nullptr, true, 0}, {"", true, 0}, {"1700000000", true, 1700000000u}, {"99999999999", true, 0xFFFFFFFFu},
      {"12x", false, 0}, {"-5", false, 0},
  };
  for (const Case& c : cases) {
    if (c.value) setenv("SOURCE_DATE_EPOCH", c.value, 1);
    else unsetenv("SOURCE_DATE_EPOCH");
    uint32_t stamp = 7;
    std::string error;
    EXPECT_EQ(c.ok, ReproducibleTimeStamp(&stamp, &error)) << (c.value ? c.value : "(unset)");
    if (c.ok) {
      EXPECT_EQ(c.want, stamp) << (c.value ? c.value : "(unset)");
    }
  }
  unsetenv("SOURCE_DATE_EPOCH");
}

}  // namespace
