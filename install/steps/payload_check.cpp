// The payload checksum check at start-up, before the window exists and before anything is
// written: a download damaged in transit must not install damaged files.
#include "common/win/sys.h"
#include "common/format/payload_checksum.h"
#include "install/state.h"

namespace {

struct ResourceBytes {
  const uint8_t* data;
  size_t size;
};

// The bytes of one FILES resource; no bytes when it is absent or cannot be had.
ResourceBytes FilesResource(HINSTANCE instance, const char* name, bool* found) {
  ResourceBytes bytes = {nullptr, 0};
  *found = false;
  HRSRC resource = sys::FindResourceA(instance, name, "FILES");
  if (!resource) return bytes;
  *found = true;
  HGLOBAL loaded = sys::LoadResource(instance, resource);
  if (!loaded) return bytes;
  const void* data = sys::LockResource(loaded);
  if (!data) return bytes;
  bytes.data = static_cast<const uint8_t*>(data);
  bytes.size = sys::SizeofResource(instance, resource);
  return bytes;
}

}  // namespace

int CheckPayload(HINSTANCE instance) {
  bool present;
  ResourceBytes checksum = FilesResource(instance, "CHECKSUM", &present);
  if (!present) return 0;
  bool ignored;
  ResourceBytes fileList = FilesResource(instance, "FILELIST", &ignored);
  ResourceBytes data = FilesResource(instance, "DATA", &ignored);
  // A CHECKSUM that cannot be read, or is not in its exact form, is damage too.
  if (checksum.data &&
      CheckPayloadChecksum(checksum.data, checksum.size, fileList.data, fileList.size, data.data, data.size) ==
          kChecksumMatches)
    return 0;
  sys::MessageBoxA(NULL, "The installation program is damaged. Please download it again.", NULL, MB_ICONSTOP);
  return kDamagedInstaller;
}
