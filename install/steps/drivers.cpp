// The registry-item line and the kernel-mode drivers of the install script: the driver
// file copied by version, its service key, and on the NT family its service.
//
// The driver's bytes come from the payload, never from the installation directory: the
// source file there may be an older file kept as "newer", or have been replaced by another
// user while a dialog waited, and the driver runs in the kernel. The payload is expanded
// again from its start up to the source file (bounded memory, no state kept from the file
// loop; it costs the expansion of the bytes before the file).
#include <string.h>

#include "common/win/service.h"
#include "common/win/handles.h"
#include "common/win/sys.h"
#include "install/logic/driver_entry.h"
#include "common/format/file_list.h"
#include "common/format/szdd_stream.h"
#include "common/format/install_script.h"
#include "install/state.h"

namespace {

class RegKey {
 public:
  RegKey() : key_(NULL) {}
  ~RegKey() {
    if (key_) RegCloseKey(key_);
  }
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;
  HKEY* out() { return &key_; }
  HKEY get() const { return key_; }

 private:
  HKEY key_;
};

bool DwordIs(HKEY key, const char* name, DWORD expected) {
  DWORD type = 0, value = 0, size = sizeof value;
  if (sys::RegQueryValueExA(key, name, NULL, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS)
    return false;
  return type == REG_DWORD && size == sizeof value && value == expected;
}

bool TextIs(HKEY key, const char* name, const char* expected) {
  char text[MAX_PATH + 1];
  DWORD type = 0, size = MAX_PATH;
  if (sys::RegQueryValueExA(key, name, NULL, &type, reinterpret_cast<BYTE*>(text), &size) != ERROR_SUCCESS)
    return false;
  text[size] = 0;
  return type == REG_SZ && strcmp(text, expected) == 0;
}

// Whether the service key lacks one of the values that the driver step expects. Every
// value is looked at, also after the first mismatch.
bool ServiceKeyNeedsWriting(const char* keyPath, bool win98, const char* imagePath) {
  RegKey key;
  if (sys::RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_ALL_ACCESS, key.out()) != ERROR_SUCCESS) return true;
  bool write = false;
  if (!DwordIs(key.get(), "Type", SERVICE_KERNEL_DRIVER)) write = true;
  if (!DwordIs(key.get(), "Start", SERVICE_AUTO_START)) write = true;
  if (!DwordIs(key.get(), "ErrorControl", SERVICE_ERROR_NORMAL)) write = true;
  if (win98 && !TextIs(key.get(), "ImagePath", imagePath)) write = true;
  return write;
}

bool SetDword(HKEY key, const char* name, DWORD value) {
  return sys::RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value) ==
         ERROR_SUCCESS;
}

bool SetServiceText(HKEY key, const char* name, const char* text) {
  return sys::RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                             static_cast<DWORD>(strlen(text) + 1)) == ERROR_SUCCESS;
}

int WriteServiceKey(const char* keyPath, const char* displayName, bool win98, const char* imagePath) {
  RegKey key;
  DWORD disposition;
  if (sys::RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, NULL, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, NULL,
                           key.out(), &disposition) != ERROR_SUCCESS)
    return ReportInternalError(kDriverServiceKeyNotCreated);
  if (!SetDword(key.get(), "Type", SERVICE_KERNEL_DRIVER)) return ReportInternalError(kDriverTypeNotSet);
  if (!SetDword(key.get(), "Start", SERVICE_AUTO_START)) return ReportInternalError(kDriverStartNotSet);
  if (!SetDword(key.get(), "ErrorControl", SERVICE_ERROR_NORMAL)) return ReportInternalError(kDriverErrorControlNotSet);
  if (!SetServiceText(key.get(), "DisplayName", displayName)) return ReportInternalError(kDriverDisplayNameNotSet);
  if (win98 && !SetServiceText(key.get(), "ImagePath", imagePath)) return ReportInternalError(kDriverImagePathNotSet);
  return 0;
}

// Writes the product's bytes of the entry at offset into the driver path.
bool CopyProductDriver(const FileEntry& entry, unsigned offset, const char* driverPath) {
  SzddStream payload;
  BeginPayload(&payload);
  if (SzddStreamSkip(&payload, offset) != kSzddOk) return false;
  FileHandle out(sys::CreateFileA(driverPath, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL));
  if (!out.valid()) return false;
  return WritePayload(&payload, out.get(), (unsigned)entry.size);
}

}  // namespace

// Creates the service if it does not exist; stops a running one whose driver file was just
// replaced (or one in a state between running and stopped). The service is created with
// the entry's display name, so that it keeps the "DisplayName" just written to its key.
int PrepareDriverService(const char* name, const char* driverPath, bool replaced, const char* displayName) {
  ServiceHandle manager(sys::OpenSCManagerA(NULL, NULL, SC_MANAGER_ALL_ACCESS));
  if (!manager.get()) return ReportInternalError(kServiceManagerNotOpenedToPrepare);
  ServiceHandle service(sys::OpenServiceA(manager.get(), name, SERVICE_ALL_ACCESS));
  if (!service.get()) {
    service.Reset(sys::CreateServiceA(manager.get(), name, displayName, SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER,
                                      SERVICE_AUTO_START, SERVICE_ERROR_NORMAL, driverPath, NULL, NULL, NULL, NULL,
                                      NULL));
    return service.get() ? 0 : ReportInternalError(kServiceNotCreated);
  }
  DWORD state;
  if (!QueryServiceState(service.get(), &state)) return ReportInternalError(kServiceStateNotQueriedToPrepare);
  if (!replaced && state == SERVICE_RUNNING) return 0;
  if (state == SERVICE_STOPPED) return 0;
  SERVICE_STATUS status;
  if (!sys::ControlService(service.get(), SERVICE_CONTROL_STOP, &status)) return ReportInternalError(kServiceNotStopped);
  return WaitForServiceState(service.get(), SERVICE_STOPPED) ? 0 : ReportInternalError(kServiceStopTimedOut);
}

// Starts the service unless it is running.
int StartDriverService(const char* name) {
  ServiceHandle manager(sys::OpenSCManagerA(NULL, NULL, SC_MANAGER_ALL_ACCESS));
  if (!manager.get()) return ReportInternalError(kServiceManagerNotOpenedToStart);
  ServiceHandle service(sys::OpenServiceA(manager.get(), name, SERVICE_ALL_ACCESS));
  if (!service.get()) return ReportInternalError(kServiceNotOpenedToStart);
  DWORD state;
  if (!QueryServiceState(service.get(), &state)) return ReportInternalError(kServiceStateNotQueriedToStart);
  if (state == SERVICE_RUNNING) return 0;
  if (!sys::StartServiceA(service.get(), 0, NULL)) return ReportInternalError(kServiceNotStarted);
  return WaitForServiceState(service.get(), SERVICE_RUNNING) ? 0 : ReportInternalError(kServiceStartTimedOut);
}

int InstallDriver(const char* name, const char* sourceName, const char* displayName, bool win98, bool winNT4,
                  bool win2000, bool* restartNeeded) {
  PathText windows;
  UINT n = sys::GetWindowsDirectoryA(windows.data(), PathText::capacity() + 1);
  if (n == 0 || n > PathText::capacity()) return ShowWarning("Could not locate Windows directory", kResultStopped);
  windows.Sync();

  // A path that does not fit is the failure of the operation that needs it.
  PathText driverPath;
  if (!BuildDriverPath(driverPath, windows, name)) return ReportInternalError(kDriverNotCopied);

  // The source is a payload file with a version: its version is the file list's.
  FileEntry source;
  unsigned offset = 0;
  if (!g.FileList || !FindFileEntry(g.FileList, g.FileListSize, sourceName, &source, &offset) ||
      !source.hasVersion)
    return ReportInternalError(kDriverNoVersion);
  unsigned installedVersion[4];
  bool installedReadable = ReadFileVersion(driverPath, installedVersion);
  bool replaced = false;
  if (DriverCopyNeeded(installedReadable, installedVersion, source.version)) {
    if (!CopyProductDriver(source, offset, driverPath)) return ReportInternalError(kDriverNotCopied);
    replaced = true;
  }

  PathText keyPath, imagePath;
  if (!BuildServiceKey(keyPath, name)) return ReportInternalError(kDriverServiceKeyNotCreated);
  if (!BuildImagePath(imagePath, name) && win98) return ReportInternalError(kDriverImagePathNotSet);
  bool rewritten = false;
  if (ServiceKeyNeedsWriting(keyPath, win98, imagePath)) {
    int result = WriteServiceKey(keyPath, displayName, win98, imagePath);
    if (result) return result;
    rewritten = true;
  }

  if (winNT4 || win2000) {
    int result = PrepareDriverService(name, driverPath, replaced, displayName);
    if (result) return result;
    return StartDriverService(name);
  }
  if (replaced || rewritten) *restartNeeded = true;
  return 0;
}

int InstallDrivers() {
  char* line = NextScriptLine();
  if (!line) return ReportInternalError(kScriptEndsBeforeRegistryItems);
  if (!IsListEnd(line)) return ReportInternalError(kRegistryItemsNotEmpty);
  g.DriverNames.Clear();
  for (;;) {
    line = NextScriptLine();
    if (!line) return ReportInternalError(kScriptEndsInDriverList);
    if (IsListEnd(line)) return 0;
    DriverEntry entry;
    if (SplitDriverLine(line, &entry) < 4) continue;
    if (!DriverForPlatform(entry.platform, g.Win98, g.WinNT4, g.Win2000)) continue;
    // The name is all the uninstaller will know of this driver. It is listed before the
    // driver is installed, so that a roll-back also takes one that failed half-way.
    if (!g.DriverNames.Append(entry.name)) return ShowWarning("Could not write uninstall file", kDriverNameNotRecorded);
    int result = InstallDriver(entry.name, entry.source, entry.displayName, g.Win98, g.WinNT4, g.Win2000,
                               &g.RestartNeeded);
    if (result) return result;
  }
}
