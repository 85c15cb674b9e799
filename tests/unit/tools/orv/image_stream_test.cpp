// The installer written in pieces, DATA copied from its file in chunks, against the one
// assembled whole in memory: the same bytes for every size of DATA; the image checksum
// summed over pieces of any length; the CHECKSUM text read from a file.
#include "tools/orv/image_stream.h"

#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/unit/synthetic_pe.h"
#include "tests/unit/test_bytes.h"
#include "tools/orv/product.h"

namespace {

struct TempDir {
  std::string path;
  TempDir() {
    char name[] = "/tmp/orv-stream-XXXXXX";
    if (mkdtemp(name)) path = name;
  }
  ~TempDir() {
    std::string command = "rm -rf '" + path + "'";
    if (!path.empty()) (void)system(command.c_str());
  }
};

void WriteBytes(const std::string& path, const Bytes& b) {
  FILE* f = fopen(path.c_str(), "wb");
  ASSERT_NE(nullptr, f) << path;
  ASSERT_EQ(b.size(), b.empty() ? 0 : fwrite(b.data(), 1, b.size(), f));
  fclose(f);
}

// The first index where a and b differ, or their common length.
size_t FirstDifference(const Bytes& a, const Bytes& b) {
  size_t i = 0;
  while (i < a.size() && i < b.size() && a[i] == b[i]) i++;
  return i;
}

Bytes StubWithDialogs(bool rsrcLast) {
  std::vector<Resource> resources;
  for (uint16_t id : {103, 104}) {
    Resource r;
    r.type = ResourceId::Number(kResourceDialog);
    r.name = ResourceId::Number(id);
    r.language = 0x809;
    r.data = RandomBytes(37 + id, id);  // odd sizes
    resources.push_back(r);
  }
  return MakePe(resources, rsrcLast);
}

TEST(PeChecksumSum, AnySplitGivesTheWholeSum) {
  Bytes image = RandomBytes(10001, 5);
  struct Case { size_t checksumAt; std::vector<size_t> pieces; } cases[] = {
      {0x118, {10001}},
      {0x118, {1, 1, 1, 9998}},
      {0x118, {0x119, 9720}},        // a piece ends inside the checksum field
      {0x118, {0x11B, 1, 9717}},     // a one-byte piece at the field's last byte
      {0x117, {3, 5, 7, 9986}},      // an odd field offset, odd pieces
      {0x118, {5000, 0, 5001}},      // an empty piece
      {20000, {4096, 4096, 1809}},   // the field beyond the end
  };
  for (const Case& c : cases) {
    PeChecksumSum sum(c.checksumAt);
    size_t at = 0;
    for (size_t n : c.pieces) {
      sum.Add(image.data() + at, n);
      at += n;
    }
    ASSERT_EQ(image.size(), at);
    EXPECT_EQ(PeChecksum(image.data(), image.size(), c.checksumAt), sum.Finish())
        << "field at " << c.checksumAt << ", first piece " << c.pieces[0];
  }
  // Odd total lengths: the last byte a word of its own.
  for (size_t n : {0u, 1u, 2u, 3u, 0x119u, 0x11Bu}) {
    PeChecksumSum sum(0x118);
    for (size_t i = 0; i < n; i++) sum.Add(image.data() + i, 1);
    EXPECT_EQ(PeChecksum(image.data(), n, 0x118), sum.Finish()) << "length " << n << " byte by byte";
  }
}

TEST(ImageStream, InstallerFromDataFileEqualsTheOneAssembledInMemory) {
  TempDir dir;
  ASSERT_FALSE(dir.path.empty());
  const size_t chunk = kImageCopyChunk;
  const size_t sizes[] = {0, 1, 2, 7, 8, 4095, chunk - 1, chunk, chunk + 1, 2 * chunk + 3, 5 * chunk + 1};
  for (bool rsrcLast : {true, false}) {
    Bytes stub = StubWithDialogs(rsrcLast);
    for (size_t size : sizes) {
      SCOPED_TRACE("DATA of " + std::to_string(size) + " bytes, resource section last: " + std::to_string(rsrcLast));
      Bytes data = RandomBytes(size, size + 11);
      std::string dataPath = dir.path + "/data", out = dir.path + "/setup.exe", error;
      WriteBytes(dataPath, data);
      std::string list = "a,1.00000001,00000000\r\n";
      std::string checksum, fromFile;
      checksum = FilesChecksum(list, data);
      ASSERT_TRUE(FilesChecksumOfFile(list, dataPath, size, &fromFile, &error)) << error;
      EXPECT_EQ(checksum, fromFile);

      Bytes uninstaller = RandomBytes(333, 3);
      Bytes whole;
      ASSERT_TRUE(AssembleInstaller(stub,
                                    {{"SCRIPT", Bytes{'s', 'c', 'r'}},
                                     {"LICENCE", Bytes{'l'}},
                                     {"FILELIST", Bytes(list.begin(), list.end())},
                                     {"DATA", data},
                                     {"UNINSTALL", uninstaller},
                                     {"CHECKSUM", Bytes(checksum.begin(), checksum.end())}},
                                    7, &whole, &error))
          << error;

      std::vector<FilesItem> files = InstallerFiles("scr", "l", list, dataPath, size, uninstaller, fromFile);
      InstallerPlan plan;
      ASSERT_TRUE(PlanInstaller(stub, files, 7, &plan, &error)) << error;
      uint64_t written = 0;
      ASSERT_TRUE(WriteInstaller(plan, out, &written, &error)) << error;
      Bytes streamed;
      ASSERT_TRUE(ReadFileBytes(out, &streamed, &error)) << error;
      EXPECT_EQ(whole.size(), streamed.size());
      EXPECT_EQ(streamed.size(), written);
      size_t at = FirstDifference(whole, streamed);
      EXPECT_EQ(whole.size(), at) << "first difference at " << at;
      // Nothing of DATA is held by the plan: only its size.
      size_t held = 0;
      for (const ImagePiece& p : plan.pieces) held += p.bytes.size();
      EXPECT_EQ(whole.size() - size, held);
    }
  }
}

TEST(ImageStream, DataFileShorterThanSaidLeavesNothing) {
  TempDir dir;
  ASSERT_FALSE(dir.path.empty());
  std::string dataPath = dir.path + "/data", out = dir.path + "/setup.exe", error;
  WriteBytes(dataPath, RandomBytes(100, 1));
  std::vector<FilesItem> files(1);
  files[0].name = "DATA";
  files[0].file = dataPath;
  files[0].fileSize = 101;
  InstallerPlan plan;
  ASSERT_TRUE(PlanInstaller(StubWithDialogs(true), files, 0, &plan, &error)) << error;
  uint64_t written = 0;
  EXPECT_FALSE(WriteInstaller(plan, out, &written, &error));
  EXPECT_NE(std::string::npos, error.find("shorter than expected")) << error;
  EXPECT_NE(0, access(out.c_str(), F_OK)) << "an installer was left behind";
  std::string command = "ls -A '" + dir.path + "' | grep -c orv-tmp > /dev/null";
  EXPECT_NE(0, system(command.c_str())) << "a temporary file was left behind";
  std::string checksum;
  EXPECT_FALSE(FilesChecksumOfFile("", dataPath, 101, &checksum, &error));
  EXPECT_FALSE(FilesChecksumOfFile("", dir.path + "/missing", 1, &checksum, &error));
}

TEST(ImageStream, HeldLayoutRefusesAResourceNamingAFile) {
  Resource r;
  r.type = ResourceId::Name("FILES");
  r.name = ResourceId::Name("DATA");
  r.file = "/nonexistent";
  r.fileSize = 3;
  std::vector<Resource> list = {r};
  std::vector<uint8_t> section;
  std::vector<ImagePiece> pieces;
  std::string error;
  EXPECT_FALSE(LayoutResources(list, 0x3000, &section, &error));
  EXPECT_NE(std::string::npos, error.find("FILES/DATA")) << error;
  ASSERT_TRUE(LayoutResourcePieces(list, 0x3000, &pieces, &error)) << error;
  ASSERT_EQ(3u, pieces.size());
  EXPECT_EQ(nullptr, pieces[0].resource);
  ASSERT_NE(nullptr, pieces[1].resource);
  EXPECT_EQ("/nonexistent", pieces[1].resource->file);
  // 3 bytes of data, then the padding to 8 bytes.
  EXPECT_EQ(5u, pieces[2].bytes.size());
}

}  // namespace
