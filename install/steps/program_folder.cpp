// The Start-menu program folder: dialog 106, the folder itself, one shortcut per folder
// item of the install script, and the end of the uninstall script's file section.
#include <string.h>

#include "common/win/sys.h"
#include "install/logic/folder_paths.h"
#include "common/format/install_script.h"
#include "install/state.h"
#include "resource.h"

namespace {

// The shell-link object and the two interfaces it is used through.
const GUID kShellLinkClass = {0x00021401, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const GUID kShellLinkA = {0x000214EE, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const GUID kPersistFile = {0x0000010B, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

const char kBackslashRefused[] = "Folder name cannot contain \\ character";
const char kEmptyRefused[] = "Folder name cannot be empty";
const char kCannotCreate[] = "Sorry, could not create this Programs folder";

// Length of the Programs path with its final backslash, where the folder name goes.
unsigned ProgramsEnd;

// COM on this thread for as long as the shortcuts are made.
class ComScope {
 public:
  ComScope() : ok_(false) {}
  ~ComScope() {
    if (ok_) CoUninitialize();
  }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;
  bool Init() {
    ok_ = SUCCEEDED(sys::CoInitialize(NULL));
    return ok_;
  }

 private:
  bool ok_;
};

template <class T>
class ComPtr {
 public:
  ComPtr() : p_(nullptr) {}
  ~ComPtr() {
    if (p_) p_->Release();
  }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  T* operator->() const { return p_; }
  T* get() const { return p_; }
  void** out() { return reinterpret_cast<void**>(&p_); }

 private:
  T* p_;
};

// Adds every subfolder of the Programs folder to the list box, which sorts them. A folder
// that cannot be searched leaves the list empty.
void FillFolderList(HWND list) {
  PathText pattern;
  if (!pattern.Append(g.ProgramsPath.c_str(), ProgramsEnd) || !pattern.Append("*.*")) return;
  WIN32_FIND_DATAA found;
  HANDLE find = sys::FindFirstFileA(pattern, &found);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
    if (strcmp(found.cFileName, ".") == 0 || strcmp(found.cFileName, "..") == 0) continue;
    SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(found.cFileName));
  } while (sys::FindNextFileA(find, &found));
  FindClose(find);
}

void TakeFolderNameFromEdit(HWND dialog) {
  GetDlgItemTextA(dialog, IDC_FOLDER_NAME, g.FolderName.data(), PathText::capacity() + 1);
  g.FolderName.Sync();
}

}  // namespace

// Dialog 106: ends with 0 for OK and 1 for Cancel or a missing suggested name.
INT_PTR CALLBACK ProgramFolderDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      const char* suggested = NextScriptLine();
      if (!suggested) {
        EndDialog(dialog, 1);
        ReportInternalError(kScriptEndsBeforeFolderName);
        return TRUE;
      }
      HWND edit = GetDlgItem(dialog, IDC_FOLDER_NAME);
      SendMessageA(edit, EM_LIMITTEXT, PathText::capacity(), 0);
      // Setting the text sends EN_CHANGE, which copies it into FolderName.
      SetWindowTextA(edit, suggested);
      TakeFolderNameFromEdit(dialog);
      // Posted: the dialog manager selects the whole text when it gives the edit box the
      // focus, after this message; the caret then goes to the end with nothing selected.
      PostMessageA(edit, EM_SETSEL, g.FolderName.length(), g.FolderName.length());
      HWND list = GetDlgItem(dialog, IDC_FOLDER_LIST);
      FillFolderList(list);
      LRESULT match = SendMessageA(list, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                   reinterpret_cast<LPARAM>(g.FolderName.c_str()));
      SendMessageA(list, LB_SETCURSEL, match == LB_ERR ? 0 : match, 0);
      return TRUE;
    }
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDC_FOLDER_NAME:
          if (HIWORD(wParam) == EN_CHANGE) {
            TakeFolderNameFromEdit(dialog);
            if (HasBackslash(g.FolderName)) {
              SetDlgItemTextA(dialog, IDC_FOLDER_STATUS, kBackslashRefused);
              MessageBeep(MB_ICONHAND);
            } else {
              SetDlgItemTextA(dialog, IDC_FOLDER_STATUS, "");
            }
          }
          return TRUE;
        case IDC_FOLDER_LIST:
          if (HIWORD(wParam) == LBN_SELCHANGE) {
            HWND list = GetDlgItem(dialog, IDC_FOLDER_LIST);
            LRESULT sel = SendMessageA(list, LB_GETCURSEL, 0, 0);
            if (sel == LB_ERR) return TRUE;
            LRESULT len = SendMessageA(list, LB_GETTEXTLEN, sel, 0);
            if (len == LB_ERR || len > static_cast<LRESULT>(PathText::capacity())) return TRUE;
            SendMessageA(list, LB_GETTEXT, sel, reinterpret_cast<LPARAM>(g.FolderName.data()));
            g.FolderName.Sync();
            SetDlgItemTextA(dialog, IDC_FOLDER_NAME, g.FolderName);
            SetDlgItemTextA(dialog, IDC_FOLDER_STATUS, "");
          }
          return TRUE;
        case IDOK:
          if (HasBackslash(g.FolderName))
            sys::MessageBoxA(dialog, kBackslashRefused, g.AppName, MB_OK);
          else if (IsEmptyFolderName(g.FolderName))
            sys::MessageBoxA(dialog, kEmptyRefused, g.AppName, MB_OK);
          else
            EndDialog(dialog, 0);
          return TRUE;
        case IDCANCEL:
          EndDialog(dialog, 1);
          return TRUE;
      }
      break;
  }
  return FALSE;
}

// Makes a shortcut at linkPath that points at target. True when the link file was saved.
bool CreateShortcut(const char* target, const char* linkPath) {
  ComPtr<IShellLinkA> link;
  if (FAILED(sys::CoCreateInstance(kShellLinkClass, NULL, CLSCTX_INPROC_SERVER, kShellLinkA, link.out())))
    return false;
  link->SetPath(target);
  ComPtr<IPersistFile> file;
  if (FAILED(link->QueryInterface(kPersistFile, file.out()))) return false;
  WCHAR wide[MAX_PATH];
  if (!sys::MultiByteToWideChar(CP_ACP, 0, linkPath, -1, wide, MAX_PATH)) return false;
  return SUCCEEDED(file->Save(wide, TRUE));
}

int GetProgramsFolderPath(char path[MAX_PATH]) {
  LPITEMIDLIST programs;
  if (FAILED(sys::SHGetSpecialFolderLocation(NULL, CSIDL_PROGRAMS, &programs))) return kNoProgramsFolder;
  BOOL havePath = sys::SHGetPathFromIDListA(programs, path);
  CoTaskMemFree(programs);
  return havePath ? 0 : kNoProgramsFolderPath;
}

int InstallProgramFolder() {
  char path[MAX_PATH];
  int failure = GetProgramsFolderPath(path);
  if (failure == kNoProgramsFolder) return ShowWarning("Could not get Programs folder", kNoProgramsFolder);
  if (failure == kNoProgramsFolderPath) return ShowWarning("Could not get Programs folder path", kNoProgramsFolderPath);
  g.ProgramsPath.clear();
  if (!g.ProgramsPath.Append(path) || !g.ProgramsPath.EnsureBackslash()) return ShowWarning(kCannotCreate, kProgramFolderNotCreated);
  ProgramsEnd = g.ProgramsPath.length();

  if (sys::DialogBoxParamA(g.Instance, MAKEINTRESOURCEA(IDD_PROGRAM_FOLDER), g.MainWindow, ProgramFolderDialog,
                           0) != 0)
    return ShowWarning("Installation cancelled", kResultStopped);

  // The folder and its prefix (folder + "\") must both fit before anything is created.
  if (!ReplaceTail(g.ProgramsPath, ProgramsEnd, g.FolderName, "\\")) return ShowWarning(kCannotCreate, kProgramFolderNotCreated);
  g.ProgramsPath.Truncate(g.ProgramsPath.length() - 1);
  DWORD attributes = sys::GetFileAttributesA(g.ProgramsPath);
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    if (!sys::CreateDirectoryA(g.ProgramsPath, NULL)) return ShowWarning(kCannotCreate, kProgramFolderNotCreated);
  }
  RecordDirectory(g.ProgramsPath);
  g.ProgramsPath.AppendChar('\\');
  const unsigned prefixEnd = g.ProgramsPath.length();

  {
    ComScope com;
    if (!com.Init()) return ReportInternalError(kShellLibraryNotStarted);
    for (;;) {
      char* line = NextScriptLine();
      if (!line) return ReportInternalError(kScriptEndsInFolderItems);
      if (IsListEnd(line)) break;
      char* title = SplitFirstComma(line);
      if (!title) return ReportInternalError(kFolderItemNoComma);
      PathText target;
      if (!target.Append(g.InstallDir.c_str(), g.InstallDirEnd) || !target.Append(line) ||
          !ReplaceTail(g.ProgramsPath, prefixEnd, title, ".lnk") || !CreateShortcut(target, g.ProgramsPath))
        return ReportInternalError(kShortcutNotCreated);
      if (!WriteScriptLine(g.UninstallScript, g.ProgramsPath)) {
        // Unrecorded, the shortcut would outlive the roll-back.
        sys::DeleteFileA(g.ProgramsPath);
        return ShowWarning("Could not write uninstall file", kShortcutNotRecorded);
      }
    }
  }
  return CloseFileSection();
}
