// The PE reader on any bytes: the headers, every section's data reached through its RVA,
// the checksum, the version resource's FileVersion.
#include <stddef.h>
#include <stdint.h>

#include <string>

#include "tools/payload/pack.h"
#include "tools/pe/version_info.h"
#include "tools/pe/pe_image.h"

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
  std::string version;
  PeFileVersionText(data, size, &version);
  return 0;
}
