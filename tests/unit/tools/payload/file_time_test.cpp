#include "tools/payload/file_time.h"

#include <gtest/gtest.h>
#include <time.h>

#include <string>

namespace {

TEST(PackFileList, FileTimes) {
  // 24 April 1999 08:02:32 UTC is 01BE8E28 CE10DC00.
  EXPECT_EQ(0x01BE8E28CE10DC00ull, FileTimeFromUnix(924940952, 0));
  EXPECT_EQ(0x019DB1DED53E8000ull, FileTimeFromUnix(0, 0));
  EXPECT_EQ(0x01BE8E28CE10DC00ull + 1234567, FileTimeFromUnix(924940952, 123456789));
}

TEST(FileTimeText, Dates) {
  struct Case {
    uint64_t fileTime;
    const char* text;
  };
  const Case cases[] = {
      {0, "1601-01-01 00:00:00 UTC"},
      {9999999, "1601-01-01 00:00:00 UTC"},  // ticks below a second are not shown
      {10000000, "1601-01-01 00:00:01 UTC"},
      {0x01BE8E28CE10DC00ull, "1999-04-24 08:02:32 UTC"},
      {0x019DB1DED53E8000ull, "1970-01-01 00:00:00 UTC"},
      {(951782400ull + 11644473600ull) * 10000000, "2000-02-29 00:00:00 UTC"},
      {(4107542399ull + 11644473600ull) * 10000000, "2100-02-28 23:59:59 UTC"},
      {(4107542400ull + 11644473600ull) * 10000000, "2100-03-01 00:00:00 UTC"},
      {0xFFFFFFFFFFFFFFFFull, "60056-05-28 05:36:10 UTC"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.text, FileTimeText(c.fileTime)) << std::hex << c.fileTime;
}

TEST(FileTimeText, AgreesWithTheCLibrary) {
  // Every 3,001,037 seconds (an odd step, so that days, hours and leap years all vary)
  // from 1601 to 9999, against gmtime_r on the same instant.
  for (int64_t s = -kFileTimeEpochSeconds; s < 253402300799; s += 3001037) {
    time_t t = (time_t)s;
    struct tm tm;
    ASSERT_NE(nullptr, gmtime_r(&t, &tm)) << s;
    char want[64];
    snprintf(want, sizeof want, "%04d-%02d-%02d %02d:%02d:%02d UTC", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
             tm.tm_hour, tm.tm_min, tm.tm_sec);
    ASSERT_EQ(want, FileTimeText(FileTimeFromUnix(s, 999999999))) << s;
  }
}

}  // namespace
