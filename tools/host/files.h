#pragma once
// The host's files (host only): read whole, written whole or not at all (a temporary file
// beside the target, flushed to the disk, then renamed over it), flushed, renamed over an
// existing file, and their sizes and times as the platform keeps them.
#include <stdint.h>
#include <stdio.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

bool ReadFileBytes(const std::string& path, std::vector<uint8_t>* out, std::string* error);
bool ReadFileText(const std::string& path, std::string* out, std::string* error);

// Writes data to path whole or not at all: a temporary file beside it, then renamed.
bool WriteFileWhole(const std::string& path, const std::vector<uint8_t>& data, bool executable, std::string* error);

// The same, the content written by `write` into the open temporary file (which it may seek
// in); `write` sets *error without the path.
bool WriteFileWholeWith(const std::string& path, bool executable,
                        const std::function<bool(FILE*, std::string*)>& write, std::string* error);

// Flushes a file opened for writing through to the disk (fflush, then fsync or, on Windows,
// _commit). False when either fails.
bool FlushToDisk(FILE* f);

// Renames from to to, replacing to when it exists (on Windows too, where rename() refuses an
// existing target). False with errno set (on Windows, the system's error mapped loosely).
bool RenameOver(const std::string& from, const std::string& to);

// Whether path lies in dir or below it (both made absolute, links resolved where they exist;
// on Windows, whose names ignore case, "Payload" is "payload").
bool PathInside(const std::filesystem::path& path, const std::filesystem::path& dir);

// A file's size and last-write time (POSIX seconds and nanoseconds). On Windows the time is
// the file's FILETIME itself, taken apart again: the packer's FileTimeFromUnix gives back the same ticks.
bool FileSizeAndTime(const std::filesystem::path& p, uint64_t* size, int64_t* seconds, long* nanoseconds,
                     std::string* why);
