#include "tools/orv/product.h"
#include "tools/payload/limits.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>

#include "common/format/crc32.h"
#include "tools/host/files.h"
#include "tools/orv/image_stream.h"
#include "tools/pe/resource_tree.h"
#include "tools/script_check/script_check.h"

namespace fs = std::filesystem;

bool ReproducibleTimeStamp(uint32_t* stamp, std::string* error) {
  *stamp = 0;
  const char* s = getenv("SOURCE_DATE_EPOCH");
  if (!s || !*s) return true;
  char* end = nullptr;
  errno = 0;
  unsigned long long v = strtoull(s, &end, 10);
  if (*end || errno || *s == '-') {
    *error = std::string("SOURCE_DATE_EPOCH is not a number of seconds: ") + s;
    return false;
  }
  *stamp = v > 0xFFFFFFFFull ? 0xFFFFFFFFu : (uint32_t)v;
  return true;
}

namespace {

// The CHECKSUM resource's form: eight upper-case hexadecimal digits.
std::string ChecksumText(uint32_t crc) {
  char text[9];
  snprintf(text, sizeof text, "%08X", crc);
  return text;
}

uint32_t FileListCrc(const std::string& fileList) {
  return Crc32(reinterpret_cast<const uint8_t*>(fileList.data()), fileList.size());
}

}  // namespace

std::string FilesChecksum(const std::string& fileList, const std::vector<uint8_t>& data) {
  return FilesChecksum(fileList, data.data(), data.size());
}

std::string FilesChecksum(const std::string& fileList, const uint8_t* data, size_t size) {
  return ChecksumText(Crc32(data, size, FileListCrc(fileList)));
}

bool FilesChecksumOfFile(const std::string& fileList, const std::string& dataPath, uint64_t dataSize,
                         std::string* checksum, std::string* error) {
  uint32_t crc = 0;
  if (!FileCrc32(dataPath, dataSize, FileListCrc(fileList), &crc, error)) return false;
  *checksum = ChecksumText(crc);
  return true;
}

bool ReadProduct(const ProductOptions& options, Product* product, Diagnostics* diags) {
  fs::path dir(options.dir);
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) {
    diags->Error(options.dir, 0, 0, "not a product folder (SCRIPT, LICENCE, payload/)");
    return false;
  }
  std::string scriptName = (dir / "SCRIPT").string(), licenceName = (dir / "LICENCE").string();
  std::string payloadName = (dir / "payload").string();
  std::string raw, error;
  bool complete = true;
  std::string rawScript, rawLicence;
  bool haveScript = false, haveLicence = false;
  if (!fs::is_regular_file(scriptName, ec)) {
    diags->Error(scriptName, 0, 0, "missing: a product needs its install script");
    complete = false;
  } else if (!ReadFileText(scriptName, &rawScript, &error)) {
    diags->Error(scriptName, 0, 0, "cannot be read");
    complete = false;
  } else {
    haveScript = true;
  }
  if (!fs::is_regular_file(licenceName, ec)) {
    diags->Error(licenceName, 0, 0, "missing: a product needs its licence text");
    complete = false;
  } else if (!ReadFileText(licenceName, &rawLicence, &error)) {
    diags->Error(licenceName, 0, 0, "cannot be read");
    complete = false;
  } else {
    haveLicence = true;
  }

  std::vector<std::string> order;
  std::string orderFile = options.orderFile;
  if (orderFile.empty() && fs::is_regular_file(dir / "ORDER", ec)) orderFile = (dir / "ORDER").string();
  if (!orderFile.empty()) {
    std::string text;
    if (!ReadFileText(orderFile, &text, &error)) {
      diags->Error(orderFile, 0, 0, "cannot be read");
      complete = false;
    } else {
      order = ParseOrderList(text);
    }
  }

  bool planned = false;
  if (!fs::is_directory(payloadName, ec)) {
    diags->Error(payloadName, 0, 0, "missing: a product needs a payload folder with its files");
    complete = false;
  } else if (!PlanPack(payloadName, order, &product->plan, &error)) {
    diags->Error(payloadName, 0, 0, error);
    complete = false;
  } else {
    planned = true;
    // Beside DATA: the stub, the uninstaller, the texts (an estimate of 64 KB and the list).
    std::string fit = PayloadSizeWarning(product->plan.dataSize, (64u << 10) + product->plan.fileList.size());
    if (!fit.empty() && !options.exactSize) diags->Warning(payloadName, 0, 0, fit);
    for (const std::string& w : product->plan.warnings) {
      size_t colon = w.find(": ");
      if (colon == std::string::npos) diags->Warning(payloadName, 0, 0, w);
      else diags->Warning(payloadName + "/" + w.substr(0, colon), 0, 0, w.substr(colon + 2));
    }
  }
  if (!options.output.empty() && PathInside(options.output, payloadName))
    diags->Error(options.output, 0, 0, "the installer would be written inside the payload folder " + payloadName);

  static const std::vector<PackEntry> kNone;
  if (haveScript) CheckScript(rawScript, planned ? product->plan.entries : kNone, scriptName, &product->script, diags);
  if (haveLicence) CheckLicence(rawLicence, licenceName, &product->licence, diags);
  return complete;
}

namespace {

// The stub's resources with the FILES resources put in (replacing any of the same names).
bool InstallerResources(const std::vector<uint8_t>& stub, const std::vector<FilesItem>& files,
                        std::vector<Resource>* list, std::string* error) {
  PeImage pe;
  if (!ParsePe(stub.data(), stub.size(), &pe, error) || !ReadResources(stub.data(), stub.size(), pe, list, error)) {
    *error = "stub: " + *error;
    return false;
  }
  // The FILES resources take the language most of the stub's own resources have, so that
  // the installer's look-up without a language finds them as it finds its dialogs.
  std::map<uint16_t, size_t> languages;
  for (const Resource& r : *list) languages[r.language]++;
  uint16_t language = 0;
  size_t most = 0;
  for (const auto& l : languages)
    if (l.second > most) {
      most = l.second;
      language = l.first;
    }
  for (const FilesItem& f : files) {
    Resource r;
    r.type = ResourceId::Name("FILES");
    r.name = ResourceId::Name(f.name);
    r.language = language;
    r.data = f.bytes;
    r.file = f.file;
    r.fileSize = f.fileSize;
    SetResource(list, std::move(r));
  }
  return true;
}

}  // namespace

bool AssembleInstaller(const std::vector<uint8_t>& stub, const std::vector<std::pair<std::string, std::vector<uint8_t>>>& files,
                       uint32_t timeStamp, std::vector<uint8_t>* out, std::string* error) {
  std::vector<FilesItem> items;
  for (const auto& f : files) {
    items.push_back({});
    items.back().name = f.first;
    items.back().bytes = f.second;
  }
  std::vector<Resource> list;
  if (!InstallerResources(stub, items, &list, error)) return false;
  if (!WriteResources(stub, list, timeStamp, out, error)) {
    *error = "stub: " + *error;
    return false;
  }
  return true;
}

std::vector<FilesItem> InstallerFiles(const std::string& script, const std::string& licence,
                                      const std::string& fileList, const std::string& dataPath,
                                      uint64_t dataSize, std::vector<uint8_t> uninstaller,
                                      const std::string& checksum) {
  std::vector<FilesItem> files(6);
  files[0].name = "SCRIPT";
  files[0].bytes.assign(script.begin(), script.end());
  files[1].name = "LICENCE";
  files[1].bytes.assign(licence.begin(), licence.end());
  files[2].name = "FILELIST";
  files[2].bytes.assign(fileList.begin(), fileList.end());
  files[3].name = "DATA";
  files[3].file = dataPath;
  files[3].fileSize = dataSize;
  files[4].name = "UNINSTALL";
  files[4].bytes = std::move(uninstaller);
  files[5].name = "CHECKSUM";
  files[5].bytes.assign(checksum.begin(), checksum.end());
  return files;
}

uint64_t InstallerBytes(uint64_t stubBytes, const std::vector<FilesItem>& files) {
  uint64_t bytes = stubBytes;
  for (const FilesItem& item : files) bytes += item.bytes.size() + item.fileSize;
  return bytes;
}

bool InstallerSizeCheck(const Product& product, uint64_t kitBytes, uint64_t limit, std::string* tooLarge,
                        std::string* error) {
  tooLarge->clear();
  // The FILES resources as orv build makes them, DATA's length first at its worst.
  std::vector<FilesItem> files = InstallerFiles(product.script, product.licence, product.plan.fileList, "", 0, {},
                                               FilesChecksum(product.plan.fileList, nullptr, 0));
  uint64_t other = InstallerBytes(kitBytes, files);
  if (PayloadSizeWarning(product.plan.dataSize, other, limit).empty()) return true;
  uint64_t dataSize = 0;
  if (!CountPackData(product.plan, PackOptions(), &dataSize, error)) return false;
  *tooLarge = InstallerSizeError(other + dataSize, limit);
  return true;
}

bool PlanInstaller(const std::vector<uint8_t>& stub, const std::vector<FilesItem>& files, uint32_t timeStamp,
                   InstallerPlan* plan, std::string* error) {
  if (!InstallerResources(stub, files, &plan->resources, error)) return false;
  if (!PlanResourceWrite(stub, plan->resources, timeStamp, &plan->pieces, &plan->checksumOffset, error)) {
    *error = "stub: " + *error;
    return false;
  }
  return true;
}

bool WriteInstaller(const InstallerPlan& plan, const std::string& path, uint64_t* size, std::string* error) {
  return WriteFileWholeWith(
      path, true,
      [&](FILE* f, std::string* why) { return WriteImagePieces(plan.pieces, plan.checksumOffset, f, size, why); },
      error);
}
