#pragma once
// File times as the file list's time form states them: a FILETIME, 100-ns ticks since
// 1601-01-01 UTC, made from a file's POSIX time by the packer and shown again as a date by
// orv inspect.
#include <stdint.h>

#include <string>

// Seconds from 1601-01-01 to 1970-01-01.
const int64_t kFileTimeEpochSeconds = 11644473600;

// A FILETIME from a POSIX time in seconds and nanoseconds.
uint64_t FileTimeFromUnix(int64_t seconds, long nanoseconds);

// The file time that the file list states for a file's POSIX time, or why there can be none:
// a time before 1601 or beyond what a FILETIME holds, or one so close to 1601 that its high
// half is 0. A time whose low half is 0 would read as "no time" to the installer: it is moved
// one 100-ns tick later and *nudged is set. "" when *fileTime was set.
std::string PackFileTime(int64_t seconds, long nanoseconds, uint64_t* fileTime, bool* nudged);

// A FILETIME as "YYYY-MM-DD HH:MM:SS UTC" (the proleptic Gregorian calendar, counted here
// so that no C library's time range or time zone plays a part); any 64-bit value is shown.
std::string FileTimeText(uint64_t fileTime);
