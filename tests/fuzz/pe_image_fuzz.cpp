// The PE reader on any bytes: the headers, whole and lenient, every section's data reached
// through its RVA, the checksum, the version resource found by its path and its FileVersion.
#include <stddef.h>
#include <stdint.h>

#include <string>

#include "tools/pe/pe_image.h"
#include "tools/pe/resource_tree.h"
#include "tools/pe/version_info.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  PeImage pe;
  std::string error;
  if (ParsePe(data, size, &pe, &error)) {
    PeLoadableLayout(pe, size, &error);
    for (const PeSection& s : pe.sections) {
      size_t offset = 0;
      if (s.rawSize && PeRvaToOffset(pe, s.va, s.rawSize, &offset) && (offset > size || size - offset < s.rawSize))
        __builtin_trap();
    }
    if (pe.ChecksumOffset() + 4 <= size) PeChecksum(data, size, pe.ChecksumOffset());
  }
  if (ParsePe(data, size, &pe, &error, PeParse::kLenient)) {
    ResourcePath path;
    path.type = kResourceVersion;
    path.names = {1};
    path.languages = {0, 0x409, 0x809};
    size_t offset = 0;
    uint32_t length = 0;
    if (LocateResource(data, size, pe, path, &offset, &length) && (offset > size || size - offset < length))
      __builtin_trap();
  }
  std::string version;
  PeFileVersionText(data, size, &version);
  return 0;
}
