#pragma once
// What the verbs of `orv` share: the product folder read and checked, and an installer
// assembled from a stub and its FILES resources.
#include <stdint.h>

#include <stdio.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "tools/host/files.h"
#include "tools/host/kit.h"
#include "tools/script_check/diagnostics.h"
#include "tools/payload/pack.h"
#include "tools/pe/resource_tree.h"

// The PE time stamp of what is written: SOURCE_DATE_EPOCH when set (clamped to 32 bits),
// else 0. False with *error when it is set but not a number.
bool ReproducibleTimeStamp(uint32_t* stamp, std::string* error);

// The CHECKSUM resource: the CRC-32 of the FILELIST bytes followed by the DATA bytes, as
// exactly eight upper-case hexadecimal digits.
std::string FilesChecksum(const std::string& fileList, const std::vector<uint8_t>& data);
std::string FilesChecksum(const std::string& fileList, const uint8_t* data, size_t size);

// The same for DATA that is the first dataSize bytes of a file, read in chunks.
bool FilesChecksumOfFile(const std::string& fileList, const std::string& dataPath, uint64_t dataSize,
                         std::string* checksum, std::string* error);

// A product folder read and checked: what `orv check` reports and `orv build` ships.
struct ProductOptions {
  std::string dir;
  std::string orderFile;  // "" : DIR/ORDER when it exists
  std::string output;     // refused when inside the payload folder ("" : none)
  // orv check: no warning that a payload may not fit; InstallerSizeCheck tells exactly.
  bool exactSize = false;
};

struct Product {
  std::string script;   // normalised, as shipped
  std::string licence;  // normalised, as shipped
  PackPlan plan;
};

// Reads and checks everything; the findings go to *diags. False when the product could not
// be read far enough to check it all (diags then hold the error too).
bool ReadProduct(const ProductOptions& options, Product* product, Diagnostics* diags);

// What orv build will say of the installer's size, said without building: *tooLarge is its
// error, or "" when the installer fits within limit. kitBytes: the stub's and the
// uninstaller's sizes. A payload that fits however badly it compresses is not compressed;
// any other is compressed and counted, nothing stored. False with *error when a payload
// file cannot be read.
bool InstallerSizeCheck(const Product& product, uint64_t kitBytes, uint64_t limit, std::string* tooLarge,
                        std::string* error);

// A copy of the stub with the given FILES resources written into it (replacing any of the
// same names), the PE time stamp and checksum set.
bool AssembleInstaller(const std::vector<uint8_t>& stub, const std::vector<std::pair<std::string, std::vector<uint8_t>>>& files,
                       uint32_t timeStamp, std::vector<uint8_t>* out, std::string* error);

// A FILES resource to write: its bytes, or (file not "") the first fileSize bytes of that
// file, copied when the installer is written.
struct FilesItem {
  std::string name;
  std::vector<uint8_t> bytes;
  std::string file;
  uint64_t fileSize = 0;
};

// The six FILES resources of an installer, DATA named by its file.
std::vector<FilesItem> InstallerFiles(const std::string& script, const std::string& licence,
                                      const std::string& fileList, const std::string& dataPath,
                                      uint64_t dataSize, std::vector<uint8_t> uninstaller,
                                      const std::string& checksum);

// The size by which orv build judges an installer: the stub's bytes and every FILES
// resource's (DATA by its file's length).
uint64_t InstallerBytes(uint64_t stubBytes, const std::vector<FilesItem>& files);

// The installer AssembleInstaller makes, planned as pieces (tools/pe/resource_tree.h) to be
// written by WriteInstaller without holding the content of items that name a file.
struct InstallerPlan {
  std::vector<Resource> resources;
  std::vector<ImagePiece> pieces;  // pointing into resources
  size_t checksumOffset = 0;

  InstallerPlan() = default;
  InstallerPlan(const InstallerPlan&) = delete;
  InstallerPlan& operator=(const InstallerPlan&) = delete;
};

bool PlanInstaller(const std::vector<uint8_t>& stub, const std::vector<FilesItem>& files, uint32_t timeStamp,
                   InstallerPlan* plan, std::string* error);

// Writes the planned installer to path whole or not at all (as WriteFileWhole, executable),
// files copied in chunks and the checksum summed on the way. *size: the bytes written.
bool WriteInstaller(const InstallerPlan& plan, const std::string& path, uint64_t* size, std::string* error);
