#include "common/win/service.h"
#include "common/win/handles.h"
#include "common/win/sys.h"
#include "uninstall/logic/line_rules.h"
#include "uninstall/logic/registry_roots.h"
#include "uninstall/logic/uninstall_texts.h"
#include "uninstall/uninstaller.h"

namespace {

const char kCouldNotRemove[] = "Could not remove ";
const char kCouldNotRemoveKey[] = "Could not remove registry key ";

// Predefined keys in the order of the root table.
const HKEY kRootKeys[kRootCount] = {
    HKEY_LOCAL_MACHINE,    HKEY_CLASSES_ROOT, HKEY_CURRENT_USER,   HKEY_USERS,
    HKEY_PERFORMANCE_DATA, HKEY_DYN_DATA,     HKEY_CURRENT_CONFIG,
};

// Whether a failed GetFileAttributesA says that the path is not there (nothing to do; a path
// too long for the call cannot name an existing file either). Any
// other failure (access denied, for one) leaves a file that may well exist: a failure to
// remove it, reported like any other.
bool NotThere(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME ||
         error == ERROR_INVALID_DRIVE || error == ERROR_BAD_NETPATH || error == ERROR_BAD_NET_NAME ||
         error == ERROR_BAD_PATHNAME || error == ERROR_FILENAME_EXCED_RANGE;
}

}  // namespace

int ShowUninstallMessage(const UninstallRun& run, const char* text, int code) {
  if (!run.quiet) sys::MessageBoxA(NULL, text, run.caption, MB_OK | MB_ICONWARNING);
  return code;
}

void RemovePath(UninstallRun& run, const char* path) {
  DWORD attributes = sys::GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    if (!NotThere(GetLastError())) run.errors.AddErrorText(kCouldNotRemove, path);
    return;
  }
  BOOL removed = (attributes & FILE_ATTRIBUTE_DIRECTORY) ? sys::RemoveDirectoryA(path) : sys::DeleteFileA(path);
  if (!removed) run.errors.AddErrorText(kCouldNotRemove, path);
}

void RemoveListedPath(UninstallRun& run, const char* line) {
  // An empty line names nothing: like a path that is already gone, it is passed over.
  if (line[0] == 0) return;
  if (IsRemovablePath(line))
    RemovePath(run, line);
  else
    run.errors.AddErrorText(kCouldNotRemove, line);
}

void RemoveRegistryKey(UninstallRun& run, const char* root, const char* key) {
  int index = FindRegistryRoot(root);
  // An empty key line would name the root itself: RegDeleteKeyA would take the whole tree
  // where the platform allows it.
  if (index < 0 || !NamesSubkey(key)) {
    run.errors.AddErrorText(kCouldNotRemoveKey, root);
  } else if (sys::RegDeleteKeyA(kRootKeys[index], key) != ERROR_SUCCESS) {
    run.errors.AddErrorText(kCouldNotRemoveKey, key);
  }
}

void RemoveDriver(UninstallRun& run, const char* name) {
  // An empty name would make the service key Services itself; a backslash would lead the
  // file and the key out of their places.
  if (!IsDriverName(name)) {
    run.errors.AddErrorText(kCouldNotRemove, name);
    return;
  }
  // Outside the NT family a loaded driver goes only with a restart.
  if (!run.nt || !StopAndDeleteService(name)) run.restart = true;

  char windowsDir[MAX_PATH];
  UINT length = sys::GetWindowsDirectoryA(windowsDir, sizeof windowsDir);
  // A length of the buffer or more is the size it would need: nothing was written.
  if (length == 0 || length >= sizeof windowsDir) {
    run.errors.AddErrorText("Could not get windows directory", "");
    return;
  }
  if (BuildDriverFilePath(run.texts, run.textsCapacity, windowsDir, name)) RemovePath(run, run.texts);
  // The service manager may have removed the key with the service already.
  if (BuildServiceKeyPath(run.texts, run.textsCapacity, name)) sys::RegDeleteKeyA(HKEY_LOCAL_MACHINE, run.texts);
}

bool StopAndDeleteService(const char* name) {
  ServiceHandle manager(sys::OpenSCManagerA(NULL, NULL, SC_MANAGER_ALL_ACCESS));
  if (!manager.get()) return false;
  ServiceHandle service(sys::OpenServiceA(manager.get(), name, SERVICE_ALL_ACCESS));
  if (!service.get()) return false;

  DWORD state;
  bool stopped = QueryServiceState(service.get(), &state) && state == SERVICE_STOPPED;
  if (!stopped) {
    SERVICE_STATUS status;
    if (sys::ControlService(service.get(), SERVICE_CONTROL_STOP, &status))
      stopped = WaitForServiceState(service.get(), SERVICE_STOPPED);
  }
  // Deleted whether or not it stopped: a stopped service left registered would outlive its
  // key and file; one that did not stop is marked for deletion and goes with the restart,
  // instead of staying an automatic-start service whose file is gone.
  bool deleted = sys::DeleteService(service.get()) != FALSE;
  return stopped && deleted;
}
