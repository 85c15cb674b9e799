#include "common/win/security.h"

#include "common/win/sys.h"

namespace sys {
namespace {

typedef BOOL(WINAPI* GetFileSecurityFn)(LPCSTR, SECURITY_INFORMATION, PSECURITY_DESCRIPTOR, DWORD, LPDWORD);
typedef BOOL(WINAPI* OpenProcessTokenFn)(HANDLE, DWORD, PHANDLE);
typedef BOOL(WINAPI* GetTokenInformationFn)(HANDLE, TOKEN_INFORMATION_CLASS, LPVOID, DWORD, PDWORD);

FARPROC Advapi(const char* name) {
  HMODULE advapi = GetModuleHandleA("advapi32.dll");
  return advapi ? sys::GetProcAddress(advapi, name) : NULL;
}

}  // namespace

DWORD ReadFileSecurity(const char* path, BYTE* out, DWORD capacity) {
  if (ORV_FAULT("GetFileSecurityA")) return 0;
  GetFileSecurityFn get = reinterpret_cast<GetFileSecurityFn>(Advapi("GetFileSecurityA"));
  DWORD needed = 0;
  if (!get || !get(path, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, out, capacity, &needed))
    return 0;
  return needed && needed <= capacity ? needed : capacity;
}

DWORD ReadUserSid(BYTE* out, DWORD capacity) {
  if (ORV_FAULT("OpenProcessToken")) return 0;
  OpenProcessTokenFn open = reinterpret_cast<OpenProcessTokenFn>(Advapi("OpenProcessToken"));
  GetTokenInformationFn info = reinterpret_cast<GetTokenInformationFn>(Advapi("GetTokenInformation"));
  HANDLE token;
  if (!open || !info || !open(GetCurrentProcess(), TOKEN_QUERY, &token)) return 0;
  // TOKEN_USER: a pointer to the SID, then the SID itself in the same block.
  union {
    TOKEN_USER user;
    BYTE bytes[256];
  } block;
  DWORD size = 0;
  BOOL ok = !ORV_FAULT("GetTokenInformation") && info(token, TokenUser, &block, sizeof block, &size);
  CloseHandle(token);
  if (!ok) return 0;
  const BYTE* sid = static_cast<const BYTE*>(block.user.User.Sid);
  DWORD length = 8 + 4u * sid[1];
  if (sid < block.bytes || sid + length > block.bytes + sizeof block || length > capacity) return 0;
  CopyMemory(out, sid, length);
  return length;
}

}  // namespace sys
