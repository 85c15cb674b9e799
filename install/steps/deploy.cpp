// Deployment of the carried uninstaller into the Windows directory, unless a copy of a
// higher version is there already.
#include "common/win/sys.h"
#include "common/format/install_script.h"
#include "common/format/version.h"
#include "install/state.h"

namespace {

// Writes the whole UNINSTALL resource into a new file at path.
bool WriteCarriedCopy(const char* path) {
  HRSRC resource = sys::FindResourceA(g.Instance, "UNINSTALL", "FILES");
  if (!resource) return false;
  HGLOBAL loaded = sys::LoadResource(g.Instance, resource);
  if (!loaded) return false;
  const void* data = sys::LockResource(loaded);
  DWORD size = sys::SizeofResource(g.Instance, resource);
  if (!data || size == 0) return false;
  HANDLE file = sys::CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool whole = sys::WriteFile(file, data, size, &written, NULL) && written == size;
  // A close that fails may have lost data still on its way to the disk.
  bool closed = CloseHandle(file) != 0;
  return whole && closed;
}

bool Windows95Family() {
  OSVERSIONINFOA version;
  ZeroMemory(&version, sizeof version);
  version.dwOSVersionInfoSize = sizeof version;
  return sys::GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS;
}

// Where MoveFileExA is missing: the old copy is renamed aside, the new one renamed into
// place, and the old one deleted only after that. A failed rename puts the old copy back, so
// that an uninstaller is always there for every product that relies on it.
bool ReplaceByRenames(const char* temp, const char* target, const char* windowsDir) {
  bool haveOld = sys::GetFileAttributesA(target) != INVALID_FILE_ATTRIBUTES;
  PathText aside;
  if (haveOld) {
    if (!sys::GetTempFileNameA(windowsDir, "orv", 0, aside.data())) return false;
    aside.Sync();
    // GetTempFileNameA has made the file; the rename needs the name free.
    if (!sys::DeleteFileA(aside) || !sys::MoveFileA(target, aside)) {
      sys::DeleteFileA(aside);
      return false;
    }
  }
  if (!sys::MoveFileA(temp, target)) {
    if (haveOld) sys::MoveFileA(aside, target);
    return false;
  }
  // An old copy that cannot be deleted now (still running) stays beside it under its
  // temporary name; the new one is in place.
  if (haveOld) sys::DeleteFileA(aside);
  return true;
}

// Puts the complete copy at temp in place of target.
bool PutInPlace(const char* temp, const char* target, const char* windowsDir) {
  if (!Windows95Family()) {
    if (sys::MoveFileExA(temp, target, MOVEFILE_REPLACE_EXISTING)) return true;
    if (GetLastError() != ERROR_CALL_NOT_IMPLEMENTED) return false;
  }
  return ReplaceByRenames(temp, target, windowsDir);
}

}  // namespace

bool DeployUninstaller() {
  // Item 2: the file name, then the four numbers of the carried uninstaller's version.
  TokenSplit fields(const_cast<char*>(g.UninstallNameLine));
  const char* name = fields.Next();
  if (!name) return false;
  unsigned carried[4];
  for (int i = 0; i < 4; i++) {
    const char* number = fields.Next();
    if (!number) return false;
    carried[i] = (unsigned)ReadScriptNumber(number);
  }

  PathText windowsDir;
  UINT n = sys::GetWindowsDirectoryA(windowsDir.data(), PathText::capacity() + 1);
  if (n == 0 || n > PathText::capacity()) return false;
  windowsDir.Sync();
  PathText& path = g.UninstallerPath;
  if (!path.Set(windowsDir) || !path.EnsureBackslash() || !path.Append(name)) {
    path.clear();
    return false;
  }

  unsigned existing[4];
  if (ReadFileVersion(path, existing) && CompareVersions(existing, carried) > 0) return true;

  // The new copy is written beside the old one and put in its place only when complete:
  // a failed write must not leave a broken uninstaller where every product of the
  // publisher looks for it.
  PathText temp;
  if (!sys::GetTempFileNameA(windowsDir, "orv", 0, temp.data())) return false;
  temp.Sync();
  if (WriteCarriedCopy(temp) && PutInPlace(temp, path, windowsDir)) return true;
  sys::DeleteFileA(temp);
  return false;
}
