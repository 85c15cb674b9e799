// The file loop: every entry of the file list expanded from the payload into the
// installation directory (or expanded and dropped when an existing copy is kept), and each
// target recorded in the uninstall script.
#include "common/win/handles.h"
#include "common/win/sys.h"
#include "common/format/file_list.h"
#include "common/format/szdd_stream.h"
#include "common/format/version.h"
#include "install/state.h"

// The file list's outcomes are reported as they are: their values must be the result numbers.
static_assert(kFileLineNoComma == kFileListNoComma && kFileLineNoTimeLow == kFileListNoTimeLow &&
                  kFileLineNoTimeHigh == kFileListNoTimeHigh && kFileLineNoSize == kFileListNoSize &&
                  kFileLineBadSize == kFileListBadSize && kFileSizesBeyondPayload == kFileListBeyondPayload,
              "the file list's outcomes and the installer's result numbers");

namespace {


const char kDirectoryIsFile[] = "Output file directory already exists as a file";
const char kCannotCreateDirectory[] = "Could not create output file directory";
const char kCannotCreateFile[] = "Could not create an output file";
const char kCannotWriteFile[] = "Could not write to an output file";
const char kCannotWriteScript[] = "Could not write uninstall file";

// Whether the entry's file is to be written over what may exist at target.
bool ShouldWrite(const char* target, const FileEntry& entry) {
  if (entry.hasTime) {
    // A target that does not open (absent, or in use) or whose time cannot be read is written.
    FileHandle existing(sys::CreateFileA(target, GENERIC_READ, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL));
    if (!existing.valid()) return true;
    FILETIME existingTime;
    if (!sys::GetFileTime(existing.get(), NULL, NULL, &existingTime)) return true;
    FILETIME entryTime = {entry.timeLow, entry.timeHigh};
    return CompareFileTime(&entryTime, &existingTime) > 0;
  }
  if (entry.hasVersion) {
    unsigned existing[4];
    if (!ReadFileVersion(target, existing)) return true;
    // Kept only when the installed copy is newer; an equal version is replaced.
    return CompareVersions(existing, entry.version) <= 0;
  }
  return true;
}

// Creates the missing directory levels of the entry's name, outermost first, and records
// each one created. A level that does not fit a path buffer cannot be created either.
int CreateDirectories(const FileEntry& entry) {
  for (unsigned i = 0; i < entry.nameLength; i++) {
    if (entry.name[i] != '\\') continue;
    PathText level;
    if (!level.Set(g.InstallDir) || !level.Append(entry.name, i)) return ShowWarning(kCannotCreateDirectory, kResultStopped);
    DWORD attributes = sys::GetFileAttributesA(level);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
      if (!sys::CreateDirectoryA(level, NULL)) return ShowWarning(kCannotCreateDirectory, kResultStopped);
      RecordDirectory(level);
    } else if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      return ShowWarning(kDirectoryIsFile, kResultStopped);
    }
  }
  return 0;
}

// Writes one file from the payload's next bytes. A file that cannot be written whole is
// deleted again: the uninstall script does not know it, so nothing else would take it away.
int WriteTarget(const char* target, const FileEntry& entry, SzddStream* payload) {
  FileHandle out(sys::CreateFileA(target, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL));
  if (!out.valid()) return ShowWarning(kCannotCreateFile, kFileNotCreated);
  if (!WritePayload(payload, out.get(), (unsigned)entry.size)) {
    out.Close();
    sys::DeleteFileA(target);
    return ShowWarning(kCannotWriteFile, kFileNotWritten);
  }
  if (entry.hasTime) {
    FILETIME time = {entry.timeLow, entry.timeHigh};
    sys::SetFileTime(out.get(), &time, &time, &time);  // not tested: the file is in place
  }
  return 0;
}

}  // namespace

// The file loop over the file-list text [list, list + size).
int InstallFiles(const char* list, size_t size) {
  FileListCursor cursor;
  FileListBegin(list, size, &cursor);
  SzddStream payload;
  BeginPayload(&payload);
  const char* line;
  size_t length;
  while (FileListNextLine(&cursor, &line, &length)) {
    FileEntry entry;
    int result = ParseFileEntry(line, length, &entry);
    if (result != 0) return ReportInternalError(result);

    PathText target;
    bool fits = target.Set(g.InstallDir) && target.Append(entry.name, entry.nameLength);
    // A target that does not fit the path buffers cannot exist for us: it would be written,
    // and its creation fails at the first level or at the file that does not fit.
    bool written = false;
    if (!fits || ShouldWrite(target, entry)) {
      if ((result = CreateDirectories(entry)) != 0) return result;
      if (!fits) return ShowWarning(kCannotCreateFile, kFileNotCreated);
      if ((result = WriteTarget(target, entry, &payload)) != 0) return result;
      written = true;
    } else if (SzddStreamSkip(&payload, (unsigned)entry.size) != kSzddOk) {
      return ReportInternalError(kFileListBeyondPayload);  // ruled out by CheckFileListSizes
    }
    if (!WriteScriptLine(g.UninstallScript, target)) {
      // Unrecorded, the file would outlive the roll-back: a written one goes at once.
      if (written) sys::DeleteFileA(target);
      return ShowWarning(kCannotWriteScript, kFilePathNotRecorded);
    }
  }
  return 0;
}

int InstallFileList() {
  HRSRC resource = sys::FindResourceA(g.Instance, "FILELIST", "FILES");
  if (!resource) return ReportInternalError(kFileListNotFound);
  HGLOBAL loaded = sys::LoadResource(g.Instance, resource);
  if (!loaded) return ReportInternalError(kFileListNotLoaded);
  const char* text = static_cast<const char*>(sys::LockResource(loaded));
  if (!text) return ReportInternalError(kFileListNotLocked);
  g.FileList = text;
  g.FileListSize = sys::SizeofResource(g.Instance, resource);
  // Sizes that do not add up to the payload are refused before any file is written.
  if (int result = CheckFileListSizes(text, g.FileListSize, g.PayloadSize)) return ReportInternalError(result);
  return InstallFiles(text, g.FileListSize);
}
