// The last step: dialog 107 with up to three options from the install script and, when a
// driver needs it, "Restart now"; then the restart.
#include <stdlib.h>
#include <string.h>

#include "common/win/sys.h"
#include "install/logic/completion_option.h"
#include "common/format/install_script.h"
#include "install/state.h"
#include "resource.h"

namespace {

const int kOptionBoxes[3] = {IDC_OPTION1, IDC_OPTION2, IDC_OPTION3};

// The file name of each option, or null while its line was missing or invalid.
const char* Slots[3];

// Ticks a box. Posted, so that the tick lands after the dialog manager's own setting up.
void PostTick(HWND dialog, int id, bool ticked) {
  PostMessageA(GetDlgItem(dialog, id), BM_SETCHECK, ticked ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool IsTicked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

void EnableFilledOptions(HWND dialog, bool enable) {
  for (int i = 0; i < 3; i++) {
    if (Slots[i]) EnableWindow(GetDlgItem(dialog, kOptionBoxes[i]), enable);
  }
}

}  // namespace

// Fills the slot and shows the check box when the line has its two commas.
void ShowOption(HWND dialog, int id, char* line, const char** slot) {
  CompletionOption option;
  if (!SplitOptionLine(line, &option)) return;
  *slot = option.file;
  HWND box = GetDlgItem(dialog, id);
  SetWindowTextA(box, option.text);
  ShowWindow(box, SW_SHOW);
  EnableWindow(box, TRUE);
  if (IsOnState(option.state)) PostTick(dialog, id, true);
}

// Opens the installed file with the shell; a failure is shown and the caller goes on.
void RunOption(const char* file) {
  HINSTANCE result = NULL;
  DWORD error;
  PathText target;
  if (target.Append(g.InstallDir.c_str(), g.InstallDirEnd) && target.Append(file)) {
    result = sys::ShellExecuteA(g.MainWindow, NULL, target, NULL, NULL, SW_SHOWNORMAL);
    if (reinterpret_cast<INT_PTR>(result) > 32) return;
    error = GetLastError();
  } else {
    error = ERROR_FILENAME_EXCED_RANGE;
  }
  char* reason = NULL;
  char number[16];
  const char* shown = number;
  if (sys::FormatMessageA(0x13FF, NULL, error, 0x400, reinterpret_cast<LPSTR>(&reason), 0, NULL) && reason)
    shown = reason;
  else
    wsprintfA(number, "%d", static_cast<int>(reinterpret_cast<INT_PTR>(result)));
  char* text = BuildStartFailureText(file, shown);
  sys::MessageBoxA(g.MainWindow, text ? text : shown, g.AppName, MB_ICONWARNING);
  free(text);
  if (reason) LocalFree(reason);
}

// Dialog 107: always ends with 0, and only through OK.
INT_PTR CALLBACK CompletionDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      Slots[0] = Slots[1] = Slots[2] = NULL;
      char* line = NextScriptLine();
      if (line && !IsListEnd(line)) {
        ShowWindow(GetDlgItem(dialog, IDC_OPTIONS_GROUP), SW_SHOW);
        ShowOption(dialog, IDC_OPTION1, line, &Slots[0]);
        line = NextScriptLine();
        if (line && !IsListEnd(line)) {
          ShowOption(dialog, IDC_OPTION2, line, &Slots[1]);
          line = NextScriptLine();
          if (line && !IsListEnd(line)) {
            ShowOption(dialog, IDC_OPTION3, line, &Slots[2]);
            while ((line = NextScriptLine()) != NULL && !IsListEnd(line)) {
            }
          }
        }
      }
      if (g.RestartNeeded) {
        ShowWindow(GetDlgItem(dialog, IDC_RESTART_GROUP), SW_SHOW);
        HWND restart = GetDlgItem(dialog, IDC_RESTART_NOW);
        ShowWindow(restart, SW_SHOW);
        EnableWindow(restart, TRUE);
        PostTick(dialog, IDC_RESTART_NOW, true);
        for (int i = 0; i < 3; i++) EnableWindow(GetDlgItem(dialog, kOptionBoxes[i]), FALSE);
      } else {
        PostTick(dialog, IDC_RESTART_NOW, false);
      }
      return TRUE;
    }
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDC_RESTART_NOW:
          if (HIWORD(wParam) == BN_CLICKED) {
            bool ticked = IsTicked(dialog, IDC_RESTART_NOW);
            g.RestartNeeded = ticked;
            EnableFilledOptions(dialog, !ticked);
          }
          return TRUE;
        case IDOK:
          g.RestartNeeded = IsTicked(dialog, IDC_RESTART_NOW);
          if (!g.RestartNeeded) {
            for (int i = 0; i < 3; i++) {
              if (Slots[i] && IsTicked(dialog, kOptionBoxes[i])) RunOption(Slots[i]);
            }
          }
          EndDialog(dialog, 0);
          return TRUE;
        case IDCANCEL:
          return TRUE;
      }
      break;
  }
  return FALSE;
}

int FinishInstallation() {
  sys::DialogBoxParamA(g.Instance, MAKEINTRESOURCEA(IDD_COMPLETE), g.MainWindow, CompletionDialog, 0);
  if (g.RestartNeeded) sys::ExitWindowsEx(EWX_REBOOT, 0);
  return 0;
}
