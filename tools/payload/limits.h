#pragma once
// The largest product that the installer can install, said before shipping.
//
// - A payload file: at most 2147483647 bytes (the file list's sizes are 32-bit signed);
//   the payload: at most 4294967295 bytes (the SZDD header's 32-bit length). The packer
//   refuses more.
// - The installer: at most kMaxInstallerBytes. The whole installer is mapped as one image
//   into the 2 GB address space of a 32-bit process, at its fixed base (4 MB) and below the
//   system's libraries; measured under 32-bit Wine, an image of 1,980 MB still maps and one
//   of 2,100 MB does not. The limit leaves room for the system's libraries placed lower
//   (today's Windows) and for the address space that the program itself needs.
#include <stdint.h>

#include <string>

const uint64_t kMaxInstallerBytes = 1536ull << 20;

// Why an installer of this many bytes cannot be installed, or "" when it can.
std::string InstallerSizeError(uint64_t installerBytes, uint64_t limit = kMaxInstallerBytes);

// For a payload of this many expanded bytes: "" when its installer fits whatever the
// compression gains, else a warning that names the compressed size it must not exceed.
std::string PayloadSizeWarning(uint64_t payloadBytes, uint64_t otherBytes, uint64_t limit = kMaxInstallerBytes);
