// The uninstaller: reads the uninstall script named on its command line, asks for
// confirmation unless quiet, and removes what the script's file, registry and driver
// sections list, collecting every failure into one report.
#include "common/file_security.h"
#include "common/format/uninstall_script.h"
#include "common/win/dll_guard.h"
#include "common/win/handles.h"
#include "common/win/security.h"
#include "common/win/sys.h"
#include "uninstall/logic/command_tail.h"
#include "uninstall/logic/uninstall_texts.h"
#include "uninstall/uninstaller.h"

namespace {

// Exit codes besides 0 (done, partly done, or declined) and the command-tail codes 1, 2.
const int kCannotOpen = -1;
const int kNoSize = 3;
const int kNoMemory = 4;
const int kCannotRead = 5;
const int kTooShort = 6;
const int kChangeable = 7;

const char kNoFileGiven[] = "No uninstall file given on command line";

class HeapBlock {
 public:
  explicit HeapBlock(size_t size) : p_(static_cast<char*>(sys::HeapAlloc(GetProcessHeap(), 0, size))) {}
  ~HeapBlock() {
    if (p_ != NULL) HeapFree(GetProcessHeap(), 0, p_);
  }
  HeapBlock(const HeapBlock&) = delete;
  HeapBlock& operator=(const HeapBlock&) = delete;
  char* get() const { return p_; }

 private:
  char* p_;
};

bool IsNtFamily() {
  OSVERSIONINFOA version;
  version.dwOSVersionInfoSize = sizeof version;
  return sys::GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

// True when users who are not administrators can change the file at path, or the directory
// that holds it (a path without "\\" is in the current directory), judged by the entries of
// Everyone, Authenticated Users, Users and INTERACTIVE. What cannot be read counts as
// changeable. The directory's path is put together in buffer (capacity bytes).
bool OthersCanChangeScript(const char* path, char* buffer, size_t capacity) {
  BYTE sd[sys::kSecurityBytes];
  DWORD size = sys::ReadFileSecurity(path, sd, sizeof sd);
  if (OthersCanChange(sd, size, kJudgeEntries, NULL, 0)) return true;
  size_t end = 0;
  size_t length = 0;
  for (; path[length]; length++)
    if (path[length] == '\\') end = length;
  if (length >= capacity) return true;
  if (end == 0) {
    buffer[end++] = '.';
  } else {
    CopyMemory(buffer, path, end);
    // The root keeps its backslash: "C:" alone is the drive's current directory.
    if (end == 2 && path[1] == ':') buffer[end++] = '\\';
  }
  buffer[end] = 0;
  size = sys::ReadFileSecurity(buffer, sd, sizeof sd);
  return OthersCanChange(sd, size, kJudgeEntries, NULL, 0);
}

int ReportOpenFailure(const UninstallRun& run, const char* path) {
  size_t length = OpenFailureLength(path);
  HeapBlock text(length + 1);
  // Without memory for the path the message still goes out, without it.
  if (length == (size_t)-1 || text.get() == NULL || !BuildOpenFailure(text.get(), length + 1, path)) {
    return ShowUninstallMessage(run, "Error: could not open the uninstall file:\r\n", kCannotOpen);
  }
  return ShowUninstallMessage(run, text.get(), kCannotOpen);
}

// The file section: paths up to ".". False at the end of the script.
bool RemoveFiles(UninstallRun& run, UninstallLineCursor& script) {
  for (;;) {
    const char* path = script.ReadUninstallLine();
    if (path == NULL) return false;
    if (IsSectionEnd(path)) return true;
    RemoveListedPath(run, path);
  }
}

// The registry section: root and key pairs up to ".". False at the end of the script,
// a root line without its key line included.
bool RemoveRegistryKeys(UninstallRun& run, UninstallLineCursor& script) {
  for (;;) {
    const char* root = script.ReadUninstallLine();
    if (root == NULL) return false;
    if (IsSectionEnd(root)) return true;
    const char* key = script.ReadUninstallLine();
    if (key == NULL) return false;
    RemoveRegistryKey(run, root, key);
  }
}

// The driver section: names up to "." or the end of the script.
void RemoveDrivers(UninstallRun& run, UninstallLineCursor& script) {
  for (;;) {
    const char* name = script.ReadUninstallLine();
    if (name == NULL || IsSectionEnd(name)) return;
    RemoveDriver(run, name);
  }
}

int RunUninstall(UninstallRun& run) {
  run.errors.Clear();
  run.partial = true;
  run.restart = false;
  run.nt = IsNtFamily();
  run.caption = "Orv Uninstall";

  UninstallCommand command;
  int tail = ParseCommandTail(FindCommandTail(GetCommandLineA()), &command);
  if (tail != kCommandTailOk) return ShowUninstallMessage(run, kNoFileGiven, tail);
  run.quiet = command.quiet;

  FileHandle file(sys::CreateFileA(command.path, GENERIC_READ, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL));
  if (!file.valid()) return ReportOpenFailure(run, command.path);
  DWORD size = sys::GetFileSize(file.get(), NULL);
  if (size == INVALID_FILE_SIZE || size == 0) {
    return ShowUninstallMessage(run, "internal error: could not get uninstall script size", kNoSize);
  }
  // The text, its NUL, and room behind it for the texts put together from its lines.
  size_t total = 0;
  if (!ScriptAllocationSize(size, &total)) {
    return ShowUninstallMessage(run, "internal error: no memory for uninstall script", kNoMemory);
  }
  HeapBlock block(total);
  if (block.get() == NULL) {
    return ShowUninstallMessage(run, "internal error: no memory for uninstall script", kNoMemory);
  }
  char* text = block.get();
  DWORD read = 0;
  if (!sys::ReadFile(file.get(), text, size, &read, NULL) || read != size) {
    return ShowUninstallMessage(run, "internal error: could not read uninstall script", kCannotRead);
  }
  text[size] = 0;
  file.Close();
  run.texts = text + size + 1;
  run.textsCapacity = total - (size + 1);

  UninstallLineCursor script(text);
  const char* company = script.ReadUninstallLine();
  const char* product = script.ReadUninstallLine();
  run.caption = product;
  const char* version = script.ReadUninstallLine();
  if (company == NULL || product == NULL || version == NULL) {
    return ShowUninstallMessage(run, "Could not read uninstall script", kTooShort);
  }

  if (run.nt && OthersCanChangeScript(command.path, run.texts, run.textsCapacity)) {
    return ShowUninstallMessage(
        run, "This uninstall file can be changed by users who are not administrators. Nothing was removed.",
        kChangeable);
  }

  if (!run.quiet) {
    if (!BuildConfirmation(run.texts, run.textsCapacity, product, version)) {
      return ShowUninstallMessage(run, "internal error: no memory for uninstall script", kNoMemory);
    }
    if (sys::MessageBoxA(NULL, run.texts, company, MB_OKCANCEL | MB_ICONQUESTION) != IDOK) return 0;
  }

  if (RemoveFiles(run, script) && RemoveRegistryKeys(run, script)) {
    RemoveDrivers(run, script);
    run.partial = false;
  }

  if (!run.quiet) {
    if (!run.errors.empty()) sys::MessageBoxA(NULL, run.errors.c_str(), run.caption, MB_OK);
    sys::MessageBoxA(NULL, ClosingMessage(run.partial, run.restart), run.caption, MB_OK);
  }
  return 0;
}

}  // namespace

// The entry point. The program is linked without the C runtime's start-up code, which would
// take more room than the uninstaller itself; nothing here needs it.
extern "C" void __stdcall UninstallStart() {
  GuardDllSearch();
  UninstallRun run;
  run.quiet = false;
  run.texts = NULL;
  run.textsCapacity = 0;
  ExitProcess((UINT)RunUninstall(run));
}
