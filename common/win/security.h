#pragma once
// File security on the NT family. The functions are looked up in advapi32 at run time: the
// Windows 95 family has no file security, and its advapi32 lacks them. Call on the NT
// family only.
#include <windows.h>

namespace sys {

// The bytes a security descriptor read back may take; a longer one is not read.
const DWORD kSecurityBytes = 4096;

// Reads the owner and the list of path's descriptor, self-relative, into out. Returns its
// length, 0 when it cannot be read (fault seam: GetFileSecurityA).
DWORD ReadFileSecurity(const char* path, BYTE* out, DWORD capacity);

// The SID of the user the process runs as, into out; its length, 0 when it cannot be had
// (fault seam: OpenProcessToken, GetTokenInformation).
DWORD ReadUserSid(BYTE* out, DWORD capacity);

}  // namespace sys
