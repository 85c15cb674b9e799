// The payload walk: links, names and file times that the installer could not take, refused
// or mended before anything is packed; and the DATA stream written in pieces.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "common/format/szdd.h"
#include "tools/host/files.h"
#include "tools/payload/file_time.h"
#include "tools/payload/pack.h"

namespace fs = std::filesystem;

namespace {

const int64_t kEpochDifference = 11644473600;  // seconds from 1601-01-01 to 1970-01-01

TEST(PackFileTime, RefusedNudgedOrKept) {
  // A FILETIME whose low half is 0: 0x01D0000000000000 ticks after 1601.
  const uint64_t kRound = 0x01D0000000000000ull;
  const int64_t roundSeconds = (int64_t)(kRound / 10000000) - kEpochDifference;
  const long roundNanos = (long)(kRound % 10000000) * 100;
  struct Case {
    const char* name;
    int64_t seconds;
    long nanos;
    const char* error;  // a part of the reason; null: accepted
    uint64_t fileTime;
    bool nudged;
  };
  const Case cases[] = {
      {"1999", 924940952, 0, nullptr, 0x01BE8E28CE10DC00ull, false},
      {"low half 0", roundSeconds, roundNanos, nullptr, kRound + 1, true},
      {"one tick after a low half of 0", roundSeconds, roundNanos + 100, nullptr, kRound + 1, false},
      {"the Unix epoch", 0, 0, nullptr, 0x019DB1DED53E8000ull, false},
      {"before 1601", -kEpochDifference - 1, 0, "before 1601", 0, false},
      {"long before 1601", -30000000000ll, 0, "before 1601", 0, false},
      {"1601 itself", -kEpochDifference, 0, "no time", 0, false},
      {"seven minutes into 1601", -kEpochDifference + 429, 0, "no time", 0, false},
      {"eight minutes into 1601", -kEpochDifference + 430, 0, nullptr, 4300000000ull, false},
      {"beyond a FILETIME", INT64_MAX / 2, 0, "beyond", 0, false},
  };
  for (const Case& c : cases) {
    uint64_t ft = 0xDEADBEEF;
    bool nudged = !c.nudged;
    std::string why = PackFileTime(c.seconds, c.nanos, &ft, &nudged);
    if (c.error) {
      EXPECT_NE(std::string::npos, why.find(c.error)) << c.name << ": expected \"" << c.error << "\" got \"" << why << "\"";
      continue;
    }
    EXPECT_EQ("", why) << c.name;
    EXPECT_EQ(c.fileTime, ft) << c.name << std::hex << ": expected " << c.fileTime << " got " << ft;
    EXPECT_EQ(c.nudged, nudged) << c.name;
    EXPECT_NE(0u, (uint32_t)ft) << c.name << ": the installer would read no time";
  }
}

class PackWalk : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/orv_pack_walk_XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(tmpl));
    root_ = tmpl;
    fs::create_directories(root_ / "payload");
  }
  void TearDown() override { fs::remove_all(root_); }
  void Write(const fs::path& p, const std::string& content, time_t seconds = 924940952, long nanos = 0) {
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << content;
    struct timespec t[2] = {{seconds, nanos}, {seconds, nanos}};
    utimensat(AT_FDCWD, p.c_str(), t, 0);
  }
  fs::path payload() const { return root_ / "payload"; }
  fs::path root_;
};

TEST_F(PackWalk, LinksNamesAndTimes) {
  const uint64_t kRound = 0x01D0000000000000ull;
  struct Case {
    const char* name;
    std::function<void()> make;
    const char* error;                // a part of the message; null: packed
    std::vector<std::string> listed;  // the file list's names, when packed
    const char* warning;              // a part of the one warning expected, or null for none
  };
  fs::path p = payload(), outside = root_ / "outside";
  const Case cases[] = {
      {"link to a directory inside",
       [&] {
         Write(p / "docs/a.txt", "a");
         fs::create_directory_symlink("docs", p / "manual");
       },
       nullptr, {"docs\\a.txt", "manual\\a.txt"}, nullptr},
      {"link to a directory outside",
       [&] {
         Write(p / "a.txt", "a");
         Write(outside / "secret.txt", "s");
         fs::create_directory_symlink(outside, p / "more");
       },
       "more: leads out of the payload directory", {}, nullptr},
      {"link to a file inside", [&] {
         Write(p / "a.txt", "a");
         fs::create_symlink("a.txt", p / "b.txt");
       }, nullptr, {"a.txt", "b.txt"}, nullptr},
      {"link to a file outside",
       [&] {
         Write(p / "a.txt", "a");
         Write(outside / "secret.txt", "s");
         fs::create_symlink(outside / "secret.txt", p / "b.txt");
       },
       "b.txt: leads out of the payload directory", {}, nullptr},
      {"link to the directory that holds it",
       [&] {
         Write(p / "docs/a.txt", "a");
         fs::create_directory_symlink("..", p / "docs/up");
       },
       "docs\\up: a link to a directory that holds it", {}, nullptr},
      {"link to the payload directory", [&] {
         Write(p / "a.txt", "a");
         fs::create_directory_symlink(".", p / "self");
       }, "self: a link to a directory that holds it", {}, nullptr},
      {"link leading nowhere", [&] {
         Write(p / "a.txt", "a");
         fs::create_symlink("missing.txt", p / "b.txt");
       }, "b.txt: a link that leads nowhere", {}, nullptr},
      {"backslash in a file name", [&] { Write(p / "a\\b.txt", "a"); }, "a\\b.txt: holds '\\'", {}, nullptr},
      {"backslash in a directory name", [&] { Write(p / "x\\y/b.txt", "a"); }, "x\\y: holds '\\'", {}, nullptr},
      {"time whose low half is 0",
       [&] {
         Write(p / "a.txt", "a", (time_t)(kRound / 10000000 - 11644473600ll), (long)(kRound % 10000000) * 100);
       },
       nullptr, {"a.txt"}, "a.txt: its time has a low half of 00000000"},
      {"a FIFO", [&] {
         Write(p / "a.txt", "a");
         mkfifo((p / "pipe").c_str(), 0600);
       }, "pipe: not a regular file", {}, nullptr},
  };
  for (const Case& c : cases) {
    fs::remove_all(p);
    fs::remove_all(outside);
    fs::create_directories(p);
    c.make();
    PackPlan plan;
    std::string error;
    bool ok = PlanPack(p.string(), {}, &plan, &error);
    if (c.error) {
      EXPECT_FALSE(ok) << c.name;
      EXPECT_NE(std::string::npos, error.find(c.error)) << c.name << ": expected \"" << c.error << "\" got \"" << error
                                                        << "\"";
      continue;
    }
    ASSERT_TRUE(ok) << c.name << ": " << error;
    std::vector<std::string> names;
    for (const PackEntry& e : plan.entries) names.push_back(e.name);
    EXPECT_EQ(c.listed, names) << c.name;
    if (c.warning) {
      ASSERT_EQ(1u, plan.warnings.size()) << c.name;
      EXPECT_NE(std::string::npos, plan.warnings[0].find(c.warning)) << c.name << ": got \"" << plan.warnings[0] << "\"";
      EXPECT_NE(std::string::npos, plan.fileList.find(".00000001,01D00000\r\n")) << c.name << ": " << plan.fileList;
    } else {
      EXPECT_TRUE(plan.warnings.empty()) << c.name << ": got \"" << (plan.warnings.empty() ? "" : plan.warnings[0]) << "\"";
    }
  }
}

// DATA written in pieces by WritePackData expands to the files, back to back, and a file that
// changes size between the plan and the packing is refused with nothing left behind.
TEST_F(PackWalk, DataWrittenAsItIsMade) {
  std::string big;
  for (int i = 0; i < 40000; i++) big += "line " + std::to_string(i * 7919 % 1000) + " of the payload\r\n";
  Write(payload() / "big.txt", big);
  Write(payload() / "small.txt", "small");
  PackPlan plan;
  std::string error;
  ASSERT_TRUE(PlanPack(payload().string(), {}, &plan, &error)) << error;
  std::string path = (root_ / "DATA").string();
  for (bool best : {false, true}) {
    PackOptions options;
    options.best = best;
    options.blockSize = 100000;  // several blocks
    options.threads = 2;
    ASSERT_TRUE(WritePackData(plan, options, path, &error)) << error;
    std::ifstream f(path, std::ios::binary);
    std::vector<uint8_t> z((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    std::string all = big + "small";
    std::vector<uint8_t> back(all.size());
    ASSERT_EQ(kSzddOk, SzddExpand(z.data(), z.size(), back.data(), back.size(), nullptr)) << "best " << best;
    EXPECT_TRUE(std::string(back.begin(), back.end()) == all) << "best " << best;
  }
  Write(payload() / "small.txt", "smaller now");
  EXPECT_FALSE(WritePackData(plan, PackOptions(), path, &error));
  EXPECT_NE(std::string::npos, error.find("small.txt: changed while it was being packed")) << error;
  EXPECT_FALSE(fs::exists(path)) << "a failed DATA is removed";
}

}  // namespace

TEST_F(PackWalk, RenameOverReplacesAndFlushes) {
  fs::path from = root_ / "new", to = root_ / "old";
  Write(to, "the old contents");
  FILE* f = fopen(from.c_str(), "wb");
  ASSERT_NE(nullptr, f);
  fputs("the new contents", f);
  EXPECT_TRUE(FlushToDisk(f));
  fclose(f);
  EXPECT_TRUE(RenameOver(from.string(), to.string()));
  std::ifstream in(to, std::ios::binary);
  std::string got((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ("the new contents", got);
  EXPECT_FALSE(fs::exists(from));
  // Nothing to rename: refused, the target kept.
  EXPECT_FALSE(RenameOver(from.string(), to.string()));
  EXPECT_TRUE(fs::exists(to));
}
