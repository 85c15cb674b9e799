#include "common/win/dll_guard.h"

#include "common/fixed_text.h"
#include "common/win/sys.h"

namespace {

// LOAD_LIBRARY_SEARCH_SYSTEM32; the older headers lack it.
const DWORD kSearchSystem32 = 0x00000800;

typedef BOOL(WINAPI* SetDefaultDllDirectoriesFn)(DWORD);
typedef BOOL(WINAPI* SetDllDirectoryAFn)(LPCSTR);

// DLLs that the platform's own libraries (dialogs, the shell, COM, version checks and the
// compatibility layer) load by bare name after start-up, and so from the program's folder
// first where the search cannot be restricted.
const char* const kLoadedOnDemand[] = {
    "uxtheme.dll", "userenv.dll",  "setupapi.dll", "apphelp.dll", "propsys.dll",  "dwmapi.dll",
    "cryptbase.dll", "oleacc.dll", "clbcatq.dll",  "version.dll", "shfolder.dll",
};

}  // namespace

HMODULE LoadSystemDll(const char* fileName) {
  PathText path;
  UINT n = sys::GetSystemDirectoryA(path.data(), PathText::capacity() + 1);
  if (n == 0 || n > PathText::capacity()) return NULL;
  path.Sync();
  if (!path.EnsureBackslash() || !path.Append(fileName)) return NULL;
  return sys::LoadLibraryA(path);
}

void GuardDllSearch() {
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  if (!kernel) return;
  SetDefaultDllDirectoriesFn setDefault =
      reinterpret_cast<SetDefaultDllDirectoriesFn>(sys::GetProcAddress(kernel, "SetDefaultDllDirectories"));
  if (setDefault && setDefault(kSearchSystem32)) return;
  SetDllDirectoryAFn setDirectory =
      reinterpret_cast<SetDllDirectoryAFn>(sys::GetProcAddress(kernel, "SetDllDirectoryA"));
  if (setDirectory) setDirectory("");
  // The program's folder is still searched first for a name that is not loaded yet. A DLL
  // that this system does not have is one that its own libraries do not ask for either.
  // A DLL missing here must not bring up the platform's error box for it.
  UINT errorMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  for (const char* name : kLoadedOnDemand) LoadSystemDll(name);
  SetErrorMode(errorMode);
}
