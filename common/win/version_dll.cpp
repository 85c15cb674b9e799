// The three version functions, called through version.dll loaded by its full path.
#include "common/win/dll_guard.h"
#include "common/win/sys.h"

namespace sys {
namespace {

typedef DWORD(WINAPI* SizeFn)(LPCSTR, LPDWORD);
typedef BOOL(WINAPI* InfoFn)(LPCSTR, DWORD, DWORD, LPVOID);
typedef BOOL(WINAPI* QueryFn)(LPCVOID, LPCSTR, LPVOID*, PUINT);

struct VersionDll {
  bool tried;
  SizeFn size;
  InfoFn info;
  QueryFn query;
};
VersionDll dll;

// Loads the DLL once; the module stays loaded for the rest of the run.
bool HaveVersionDll() {
  if (!dll.tried) {
    dll.tried = true;
    HMODULE module = LoadSystemDll("version.dll");
    if (module) {
      dll.size = reinterpret_cast<SizeFn>(sys::GetProcAddress(module, "GetFileVersionInfoSizeA"));
      dll.info = reinterpret_cast<InfoFn>(sys::GetProcAddress(module, "GetFileVersionInfoA"));
      dll.query = reinterpret_cast<QueryFn>(sys::GetProcAddress(module, "VerQueryValueA"));
    }
  }
  if (dll.size && dll.info && dll.query) return true;
  ::SetLastError(ERROR_MOD_NOT_FOUND);
  return false;
}

}  // namespace

DWORD GetFileVersionInfoSizeA(LPCSTR path, LPDWORD handle) {
  if (ORV_FAULT("GetFileVersionInfoSizeA")) {
    ::SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    return 0;
  }
  return HaveVersionDll() ? dll.size(path, handle) : 0;
}

BOOL GetFileVersionInfoA(LPCSTR path, DWORD handle, DWORD size, LPVOID data) {
  if (ORV_FAULT("GetFileVersionInfoA")) {
    ::SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    return FALSE;
  }
  return HaveVersionDll() ? dll.info(path, handle, size, data) : FALSE;
}

BOOL VerQueryValueA(LPCVOID block, LPCSTR subBlock, LPVOID* out, PUINT size) {
  if (ORV_FAULT("VerQueryValueA")) {
    ::SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
    return FALSE;
  }
  return HaveVersionDll() ? dll.query(block, subBlock, out, size) : FALSE;
}

}  // namespace sys
