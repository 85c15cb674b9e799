// Deployment of the carried uninstaller into the Windows directory, unless a copy of a
// higher version is there already.
#include "common/win/sys.h"
#include "install/logic/install_script.h"
#include "install/logic/version.h"
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

// Puts the complete copy at temp in place of target.
bool PutInPlace(const char* temp, const char* target) {
  if (sys::MoveFileExA(temp, target, MOVEFILE_REPLACE_EXISTING)) return true;
  // The Windows 95 family has no MoveFileEx: there the old copy goes only once the new one
  // is complete, and a target that cannot be deleted stays as it was.
  if (GetLastError() != ERROR_CALL_NOT_IMPLEMENTED) return false;
  if (!sys::DeleteFileA(target) && GetLastError() != ERROR_FILE_NOT_FOUND) return false;
  return sys::MoveFileA(temp, target) != 0;
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
  if (WriteCarriedCopy(temp) && PutInPlace(temp, path)) return true;
  sys::DeleteFileA(temp);
  return false;
}
