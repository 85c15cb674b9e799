#include "tools/payload/limits.h"

namespace {

std::string Megabytes(uint64_t bytes) { return std::to_string(bytes >> 20) + " MB"; }

}  // namespace

std::string InstallerSizeError(uint64_t installerBytes, uint64_t limit) {
  if (installerBytes <= limit) return "";
  return "the installer would be " + std::to_string(installerBytes) + " bytes, more than the " +
         std::to_string(limit) + " (" + Megabytes(limit) +
         ") that a 32-bit process can map as one image; split the product into smaller installers";
}

std::string PayloadSizeWarning(uint64_t payloadBytes, uint64_t otherBytes, uint64_t limit) {
  // The compressed stream is at most 9/8 of the payload (eight literals take nine bytes),
  // and its 14-byte header.
  uint64_t worst = payloadBytes + payloadBytes / 8 + 1 + 14 + otherBytes;
  if (worst <= limit) return "";
  uint64_t room = otherBytes < limit ? limit - otherBytes : 0;
  return "the payload of " + std::to_string(payloadBytes) + " bytes installs only if it compresses to at most " +
         std::to_string(room) + " bytes (the installer's limit of " + Megabytes(limit) +
         "); orv build tells";
}
