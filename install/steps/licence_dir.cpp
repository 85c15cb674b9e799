// The licence agreement and the choice, validation and creation of the installation
// directory.
#include "common/file_security.h"
#include "common/win/security.h"
#include "common/win/sys.h"
#include "install/state.h"
#include "resource.h"

namespace {

const char kCancelled[] = "Installation cancelled";

INT_PTR CALLBACK LicenceDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG: {
      HRSRC resource = sys::FindResourceA(g.Instance, "LICENCE", "FILES");
      if (!resource) return TRUE;
      HGLOBAL loaded = sys::LoadResource(g.Instance, resource);
      if (!loaded) return TRUE;
      const char* data = static_cast<const char*>(sys::LockResource(loaded));
      DWORD size = sys::SizeofResource(g.Instance, resource);
      if (!data || size < 2) return TRUE;
      // The resource is read-only and carries no terminator: the text shown is a copy
      // without the final CR LF.
      char* text = static_cast<char*>(sys::HeapAlloc(GetProcessHeap(), 0, size - 1));
      if (!text) return TRUE;
      CopyMemory(text, data, size - 2);
      text[size - 2] = 0;
      SetDlgItemTextA(dialog, IDC_LICENCE_TEXT, text);
      HeapFree(GetProcessHeap(), 0, text);
      // The dialog manager selects the whole text when it gives the edit box the focus,
      // after this message; the posted selection clears that again, caret at the top.
      PostMessageA(GetDlgItem(dialog, IDC_LICENCE_TEXT), EM_SETSEL, 0, 0);
      return TRUE;
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) {
        EndDialog(dialog, 0);
        return TRUE;
      }
      if (LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, 1);
        return TRUE;
      }
      break;
  }
  return FALSE;
}

INT_PTR CALLBACK ChooseFolderDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG: {
      HWND edit = GetDlgItem(dialog, IDC_INSTALL_DIR);
      SendMessageA(edit, EM_LIMITTEXT, PathText::capacity(), 0);
      SetDlgItemTextA(dialog, IDC_INSTALL_DIR, g.InstallDir);
      PostMessageA(edit, EM_SETSEL, g.InstallDir.length(), g.InstallDir.length());
      return TRUE;
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) {
        GetDlgItemTextA(dialog, IDC_INSTALL_DIR, g.InstallDir.data(), PathText::capacity() + 1);
        g.InstallDir.Sync();
        EndDialog(dialog, 0);
        return TRUE;
      }
      if (LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, 1);
        return TRUE;
      }
      break;
  }
  return FALSE;
}

// Reads "ProgramFilesDir" into g.InstallDir; leaves it empty when the value cannot be
// read whole.
void ReadProgramFilesDir() {
  g.InstallDir.clear();
  HKEY key;
  if (sys::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion", 0, KEY_READ, &key) !=
      ERROR_SUCCESS)
    return;
  char* buffer = g.InstallDir.data();
  DWORD size = PathText::capacity() + 1;
  LONG status = sys::RegQueryValueExA(key, "ProgramFilesDir", NULL, NULL, reinterpret_cast<BYTE*>(buffer), &size);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS || size == 0) {
    buffer[0] = 0;
  } else if (buffer[size - 1] != 0) {
    // A value stored without its terminator; one that fills the whole buffer does not fit.
    if (size > PathText::capacity()) size = 0;
    buffer[size] = 0;
  }
  g.InstallDir.Sync();
}

enum PathKind { kMissing, kDirectory, kFile };

PathKind Look(const char* path) {
  DWORD attributes = sys::GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return kMissing;
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? kDirectory : kFile;
}

void Tell(const char* text, const char* caption, UINT icon) { sys::MessageBoxA(g.MainWindow, text, caption, MB_OK | icon); }

void TellWithPath(const char* text, const char* path) {
  FixedText<64 + 260> message;
  message.Set(text);
  message.Append(path);
  Tell(message, g.AppName, MB_ICONWARNING);
}

enum Verdict { kAgain, kExists, kMissingLevels };

// The checks of the entry in g.InstallDir, which ends with a backslash: the drive, its
// root, and every level, looking for a file in the way or the first missing level.
Verdict Validate(PathText& prefix) {
  const PathText& dir = g.InstallDir;
  if (dir.length() < 3 || dir[1u] != ':' || dir[2u] != '\\') {
    Tell("Please start the installation directory with a drive specification, eg C:\\", g.AppName, 0);
    return kAgain;
  }
  prefix.clear();
  prefix.Append(dir, 3);
  if (Look(prefix) != kDirectory) {
    Tell("Please specify a valid drive, eg C:\\", g.AppName, 0);
    return kAgain;
  }
  for (unsigned i = 3; i < dir.length(); i++) {
    if (dir[i] != '\\') continue;
    prefix.clear();
    prefix.Append(dir, i);
    switch (Look(prefix)) {
      case kMissing:
        return kMissingLevels;
      case kFile:
        TellWithPath("Sorry, you cannot create this directory as this file exists:\r\n", prefix);
        return kAgain;
      case kDirectory:
        break;
    }
  }
  return kExists;
}

// True when users who are not administrators can change the existing directory path, or
// what the installer will write into it: its entries, those it passes on to new files and
// directories, and its owner. A descriptor that cannot be read is not trusted either.
bool OthersCanChangeDir(const char* path) {
  BYTE user[68];
  DWORD userSize = sys::ReadUserSid(user, sizeof user);
  BYTE sd[sys::kSecurityBytes];
  DWORD size = sys::ReadFileSecurity(path, sd, sizeof sd);
  return OthersCanChange(sd, size, kJudgeOwner | kJudgeInherited, userSize ? user : NULL, userSize);
}

// Creates the missing levels of g.InstallDir, outermost first, recording each one created.
// On the NT family the outermost created level gets a protected list and the ones inside
// inherit it (common/file_security.h); the Windows 95 family has no file security.
bool CreateLevels(PathText& prefix) {
  const PathText& dir = g.InstallDir;
  BYTE descriptor[kCreatedDirDescriptorBytes];
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, FALSE};
  bool first = true;
  for (unsigned i = 3; i < dir.length(); i++) {
    if (dir[i] != '\\') continue;
    prefix.clear();
    prefix.Append(dir, i);
    if (Look(prefix) == kDirectory) continue;
    LPSECURITY_ATTRIBUTES security = NULL;
    if (IsNtFamily()) {
      BuildCreatedDirDescriptor(first, descriptor, sizeof descriptor);
      security = &attributes;
    }
    first = false;
    if (!sys::CreateDirectoryA(prefix, security)) {
      TellWithPath("Sorry, could not create this directory:\r\n", prefix);
      return false;
    }
    RecordDirectory(prefix);
  }
  return true;
}

}  // namespace

int ShowLicence() {
  INT_PTR answer = sys::DialogBoxParamA(g.Instance, MAKEINTRESOURCEA(IDD_LICENCE), g.MainWindow, LicenceDialog, 0);
  // A dialog that could not be shown (-1) is no acceptance either.
  if (answer == 1 || answer == -1) return ShowWarning(kCancelled, kResultStopped);
  return 0;
}

int ChooseInstallDir() {
  ReadProgramFilesDir();
  if (g.InstallDir.empty()) {
    g.InstallDir.Set("C:\\Program Files\\");
  } else {
    g.InstallDir.EnsureBackslash();
  }
  char* suggested = NextScriptLine();
  if (!suggested) return ReportInternalError(kScriptEndsBeforeInstallDir);
  // A proposal too long for the buffer is left at the Program Files directory for the
  // user to complete.
  g.InstallDir.Append(suggested);

  PathText prefix;
  for (;;) {
    INT_PTR answer =
        sys::DialogBoxParamA(g.Instance, MAKEINTRESOURCEA(IDD_CHOOSE_FOLDER), g.MainWindow, ChooseFolderDialog, 0);
    // A dialog that could not be shown (-1) would otherwise be shown again for ever.
    if (answer == 1 || answer == -1) return ShowWarning(kCancelled, kResultStopped);
    if (!g.InstallDir.EnsureBackslash()) {
      // 259 characters and no room for the final backslash: no path inside it would fit.
      TellWithPath("Sorry, could not create this directory:\r\n", g.InstallDir);
      continue;
    }
    Verdict verdict = Validate(prefix);
    if (verdict == kAgain) continue;
    if (verdict == kExists) {
      if (!IsNtFamily() || !OthersCanChangeDir(prefix)) return 0;
      Tell("This directory can be changed by users who are not administrators. Please choose another.", g.AppName,
           MB_ICONWARNING);
      continue;
    }
    if (sys::MessageBoxA(g.MainWindow, "This directory does not exist.  Do you want to create it?", g.SetupName,
                         MB_OKCANCEL | MB_ICONQUESTION) != IDOK)
      continue;
    if (CreateLevels(prefix)) return 0;
  }
}
