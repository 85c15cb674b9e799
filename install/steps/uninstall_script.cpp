// The writing side of the uninstall script: creation with the directories carried over
// from a previous script, the line writer, the directory list, the closing of the file
// section, and the worker's closing of the file with the roll-back.
#include <string.h>

#include "common/win/sys.h"
#include "install/logic/carry_over.h"
#include "install/logic/removal_order.h"
#include "install/state.h"

namespace {

bool IsExistingDirectory(const char* path) {
  DWORD attributes = sys::GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Records the directories that a previous uninstall script at the same path still lists
// and that still exist. A script that cannot be opened or read carries nothing over.
void CarryOverDirectories() {
  HANDLE file = sys::CreateFileA(g.UninstallScriptPath, GENERIC_READ, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                 NULL);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD size = sys::GetFileSize(file, NULL);
  char* text = nullptr;
  uint32_t textBytes;
  if (size != INVALID_FILE_SIZE && size != 0 && CarriedTextBytes(size, &textBytes))
    text = static_cast<char*>(sys::HeapAlloc(GetProcessHeap(), 0, textBytes));
  DWORD read = 0;
  bool whole = text && sys::ReadFile(file, text, size, &read, NULL) && read == size;
  CloseHandle(file);
  if (whole) {
    text[size] = 0;
    unsigned bound = CountLinesBound(text);
    uint32_t listBytes;
    const char** carried = nullptr;
    if (CarriedListBytes(bound, sizeof *carried, &listBytes))
      carried = static_cast<const char**>(sys::HeapAlloc(GetProcessHeap(), 0, listBytes));
    if (carried) {
      unsigned n = CollectCarriedDirectories(text, IsExistingDirectory, carried, bound);
      // On the NT family the script may come from someone else: only directories that an
      // earlier installation here can have recorded are taken.
      if (n && IsNtFamily()) {
        char programs[MAX_PATH];
        if (GetProgramsFolderPath(programs) != 0) programs[0] = 0;
        n = KeepCarriable(carried, n, g.InstallDir, programs);
      }
      AddCarriedDirectories(g.Directories, carried, n);
      HeapFree(GetProcessHeap(), 0, carried);
    }
  }
  if (text) HeapFree(GetProcessHeap(), 0, text);
}

// The roll-back: the uninstaller in quiet mode on the script, not waited for.
void StartRollBack() {
  FixedText<4 + 260> tail;
  if (!tail.Set("-q ") || !tail.Append(g.UninstallScriptPath)) return;
  sys::ShellExecuteA(NULL, NULL, g.UninstallerPath, tail, NULL, SW_SHOWNORMAL);
}

}  // namespace

DWORD ScriptPosition(HANDLE file) { return SetFilePointer(file, 0, NULL, FILE_CURRENT); }

void CutScript(HANDLE file, DWORD position) {
  SetFilePointer(file, position, NULL, FILE_BEGIN);
  SetEndOfFile(file);
}

// A line that fails is cut off again, so that what follows it starts a line of its own.
bool WriteScriptLine(HANDLE file, const char* text) {
  DWORD start = ScriptPosition(file);
  DWORD length = (DWORD)strlen(text);
  DWORD written = 0;
  if (sys::WriteFile(file, text, length, &written, NULL) && written == length &&
      sys::WriteFile(file, "\r\n", 2, &written, NULL) && written == 2)
    return true;
  CutScript(file, start);
  return false;
}

void RecordDirectory(const char* path) { g.Directories.Prepend(path); }

int CreateUninstallScript() {
  g.InstallDirEnd = g.InstallDir.length();
  if (!g.UninstallScriptPath.Set(g.InstallDir) || !g.UninstallScriptPath.Append("Uninst.orv")) {
    g.UninstallScriptPath.clear();
    return ReportInternalError(kUninstallScriptNotCreated);
  }
  CarryOverDirectories();
  HANDLE file = sys::CreateFileA(g.UninstallScriptPath, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                 NULL);
  if (file == INVALID_HANDLE_VALUE) return ReportInternalError(kUninstallScriptNotCreated);
  // Without all four lines it is no script the uninstaller would read: it goes again, and
  // the failure is that of a script never created (no roll-back).
  if (!WriteScriptLine(file, g.CompanyName) || !WriteScriptLine(file, g.AppName) ||
      !WriteScriptLine(file, g.AppVersion) || !WriteScriptLine(file, g.UninstallScriptPath)) {
    CloseHandle(file);
    sys::DeleteFileA(g.UninstallScriptPath);
    return ReportInternalError(kUninstallScriptHeaderNotWritten);
  }
  g.UninstallScript = file;
  g.FileSectionClosed = false;
  g.RegistrySectionClosed = false;
  g.DriversRecorded = 0;
  return 0;
}

int CloseFileSection() {
  DirList::Cursor it;
  for (const char* path = g.Directories.First(it); path; path = g.Directories.Next(it))
    if (!WriteScriptLine(g.UninstallScript, path)) return ShowWarning("Could not write uninstall file", kDirectoryNotRecorded);
  if (!WriteScriptLine(g.UninstallScript, ".")) return ShowWarning("Could not write uninstall file", kFileSectionNotClosed);
  g.FileSectionClosed = true;
  return 0;
}

void CloseUninstallScript(int result) {
  HANDLE file = g.UninstallScript;
  g.UninstallScript = INVALID_HANDLE_VALUE;
  if (file != INVALID_HANDLE_VALUE) {
    if (result != 0) {
      if (!g.FileSectionClosed) {
        DirList::Cursor it;
        for (const char* path = g.Directories.First(it); path; path = g.Directories.Next(it))
          if (!WriteScriptLine(file, path)) break;
      } else if (g.DriversRecorded < g.DriverNames.count() &&
                 (g.RegistrySectionClosed || WriteScriptLine(file, "."))) {
        // The drivers of this run not yet in the driver section, the one that failed
        // included: the roll-back takes their files, services and keys. Without such a
        // driver the script stays as the failure left it.
        WriteDriverNames(file);
      }
    }
    CloseHandle(file);
    if (result != 0) StartRollBack();
  }
  g.Directories.Clear();
}
