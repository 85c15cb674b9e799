#pragma once
// The publisher's packer (host only): a product's payload directory made into the file
// list (FILELIST) and the payload stream (DATA) that the installer carries.
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#include <string>
#include <vector>

// Longest relative name accepted: the installation directory and the name must fit the
// installer's 259-character paths, and a directory such as "C:\Program Files\Maker\Product\"
// needs its share of them.
const size_t kPackMaxNameLength = 200;

// Why a relative name (backslashes between its parts) cannot be installed, or "" when it can.
std::string CheckPackName(const std::string& name);

// One payload file as the file list describes it.
struct PackEntry {
  std::string name;  // relative, backslashes between directory names
  uint64_t size;
  bool hasVersion;
  unsigned version[4];
  uint64_t fileTime;  // last-write time as a FILETIME (tools/payload/file_time.h)
};

// The file-list line of an entry, CR LF not included: "name,size,a,b,c,d" in the version
// form, "name,size.LLLLLLLL,HHHHHHHH" in the time form. Empty, with *error set, when the
// installer could not take the entry.
std::string FileListLine(const PackEntry& entry, std::string* error);

// Reads an order list: one relative name per line, '/' or '\' between its parts; blank
// lines and lines beginning with '#' are ignored; blanks around a name are dropped.
// The names come back with backslashes.
std::vector<std::string> ParseOrderList(const std::string& text);

// A payload directory walked and checked, nothing compressed yet: the entries in stream
// order, the host file each is read from, and the FILELIST text.
struct PackPlan {
  std::vector<PackEntry> entries;
  std::vector<std::string> hostPaths;  // one per entry
  std::string fileList;                // every line ending with CR LF
  uint64_t dataSize = 0;               // the expanded payload: the sum of the entries' sizes
  // What was let through but deserves the publisher's eye, each "NAME: message".
  std::vector<std::string> warnings;
};

// Walks and checks a payload directory: the files named by order (may be empty) first, in
// that order, then every other file sorted by name. False with *error when the installer
// could not take the result. Links are followed when they lead to a file or directory inside
// the payload directory, and refused when they lead outside it, nowhere, or round in a loop;
// a name holding '\' is refused (Windows reads it as a separator); a file time that the
// installer would read as "no time" is moved by one tick, with a warning. Files are not read
// whole: a PE file's version resource is read from a mapping of the file.
bool PlanPack(const std::string& dir, const std::vector<std::string>& order, PackPlan* plan, std::string* error);

struct PackOptions {
  unsigned threads = 0;  // 0: one per core
  bool best = false;     // the exact whole-stream optimum (memory in proportion to the payload; for tests)
  size_t blockSize = 0;  // bytes parsed by one thread at a time; 0: the compressor's default
  // Called now and then while packing, with the files and bytes read so far.
  void (*progress)(void* context, size_t filesDone, uint64_t bytesDone) = nullptr;
  void* progressContext = nullptr;
};

// Reads the plan's files one after another and writes the DATA stream to path as it is made
// (created or replaced; the caller renames it into place). Memory stays bounded whatever the
// payload's size, unless options.best asks for the whole-stream optimum. False with *error,
// and path removed, when a file cannot be read or has changed size, or path cannot be written.
bool WritePackData(const PackPlan& plan, const PackOptions& options, const std::string& path, std::string* error);

// The length of the DATA stream that WritePackData would write: made and counted, nothing
// stored. False with *error when a file cannot be read or has changed size.
bool CountPackData(const PackPlan& plan, const PackOptions& options, uint64_t* size, std::string* error);

// Writes FILELIST and DATA (made by WritePackData: the payload is never held whole) into
// outDir whole or not at all: each goes to a temporary file first and is renamed into place;
// a failure leaves neither a partial file nor a mismatched pair behind.
bool WritePlannedOutputs(const std::string& outDir, const PackPlan& plan, const PackOptions& options,
                         std::string* error);
