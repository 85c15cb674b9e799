#include "tools/payload/file_time.h"

#include <stdint.h>
#include <stdio.h>

namespace {

const uint64_t kTicksPerSecond = 10000000;

}  // namespace

uint64_t FileTimeFromUnix(int64_t seconds, long nanoseconds) {
  return (uint64_t)(seconds + kFileTimeEpochSeconds) * kTicksPerSecond + (uint64_t)(nanoseconds / 100);
}

std::string PackFileTime(int64_t seconds, long nanoseconds, uint64_t* fileTime, bool* nudged) {
  const int64_t kLastSecond = INT64_MAX / (int64_t)kTicksPerSecond - kFileTimeEpochSeconds - 1;
  *nudged = false;
  if (seconds < -kFileTimeEpochSeconds) return "its time is before 1601, which a file time cannot hold";
  if (seconds > kLastSecond) return "its time is beyond the year 30000, which a file time cannot hold";
  uint64_t t = FileTimeFromUnix(seconds, nanoseconds);
  if ((t >> 32) == 0)
    return "its time lies in the first minutes of 1601, which the installer cannot tell from no time";
  if ((uint32_t)t == 0) {
    // The installer takes a low half of 0 for "no time" and would always overwrite the file.
    t++;
    *nudged = true;
  }
  *fileTime = t;
  return "";
}

std::string FileTimeText(uint64_t fileTime) {
  unsigned long long seconds = fileTime / kTicksPerSecond;
  unsigned daySeconds = (unsigned)(seconds % 86400);
  // Days since 1601-01-01 made days since 0000-03-01, then the civil date from them.
  long long z = (long long)(seconds / 86400) + 584694;
  long long era = z / 146097;
  long long doe = z - era * 146097;
  long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  long long year = yoe + era * 400;
  long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  long long mp = (5 * doy + 2) / 153;
  long long day = doy - (153 * mp + 2) / 5 + 1;
  long long month = mp < 10 ? mp + 3 : mp - 9;
  if (month <= 2) year++;
  char text[64];
  snprintf(text, sizeof text, "%04lld-%02lld-%02lld %02u:%02u:%02u UTC", year, month, day, daySeconds / 3600,
           daySeconds / 60 % 60, daySeconds % 60);
  return text;
}
