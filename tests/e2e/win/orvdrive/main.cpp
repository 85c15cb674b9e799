// orvdrive: drives a Win32 program through its dialogs and message boxes for the end-to-end
// tests. Test-only; never shipped.
//
//   orvdrive [--shots] [--at-once] SCENARIO LOG -- PROGRAM [ARG...]
//   orvdrive [--shots] [--at-once] SCENARIO LOG --cmdline "COMMAND LINE"
//
// It starts PROGRAM (its command line: PROGRAM, quoted when it holds a blank, then each ARG
// after one blank, verbatim, so that a path with blanks arrives as literal text), follows it
// and every process it starts (Toolhelp snapshots; descendants of descendants too), and runs
// the scenario's steps in order. Every visible top-level window of the followed processes is
// written to LOG when first seen; LOG is JSON lines:
//   {"event":"desktop","ready":true|false}         the session's desktop is up (see
//                                                     ReadyDesktop), before the start
//   {"event":"start","cmdline":..,"pid":..}
//   {"event":"process","pid":..,"parent":..,"exe":..}   ("session":true: one of Wine's own
//                                                     session processes, not followed)
//   {"event":"window","hwnd":..,"pid":..,"class":..,"caption":..,"text":..,"visible":..,
//    "enabled":..,"controls":[{"id":..,"class":..,"text":..,"style":..,"visible":..,
//    "enabled":..,"checked":..,"items":[..],"selected":..}]}
//   {"event":"step","line":..,"step":..}            each step as it starts
//   {"event":"match","hwnd":..,"window":{..}}       the dialog an expect step took, as it
//                                                     was then
//   {"event":"exit","pid":..,"main":true|false,"code":..}   signed 32-bit exit codes
//   {"event":"result","ok":true|false,"reason":..,"line":..}
// Every line ends with "ms": the milliseconds since orvdrive started (its clock, which ticks
// in steps of the platform's timer), so that the log also times the program.
// A message box's text is its static control 0xFFFF ("text" of the window record; in a
// dialog with several statics 0xFFFF, the last of them).
// Exit code: 0 when every step held, 1 on a failure (reason in LOG; the followed processes
// are then ended so that nothing is left waiting), 2 on a usage or scenario error.
//
// Scenario: one step per line; blank lines and lines starting with # are ignored. Values are
// bare words or double-quoted with the escapes \\ \" \r \n \t. Texts are compared exactly;
// NAME~="part" compares a substring. Waits poll every 100 ms and time out after the step's
// timeout=N seconds (default 120, or as "set timeout=N" says).
//   expect [caption=..] [text=..] [class=..]  the next new visible dialog (class #32770
//                                             unless class= says otherwise) must match;
//                                             a new dialog that does not is a failure
//   focus [caption=..] [text=..]              make an already seen, still visible dialog
//                                             current again (newest first)
//   control ID [text=..] [class=..] [visible=0|1] [enabled=0|1] [checked=0|1|2]
//              [items="a|b"] [selected=N] [missing]     wait until the control is so
//   press ID        post WM_COMMAND(ID, BN_CLICKED) to the current dialog; "press default"
//                   presses the default push button (else OK)
//   click ID        post BM_CLICK to the button
//   type ID "text"  WM_SETTEXT to the control (an edit box then sends EN_CHANGE)
//   tick ID / untick ID   BM_CLICK until the check box is (un)ticked
//   pick ID N / pick ID "entry"   LB_SETCURSEL and LBN_SELCHANGE to the list's parent
//   gone            wait until the current dialog is closed
//   wait-file "C:\path" [gone]   wait until the file exists (or no longer exists)
//   sleep MS
//   screenshot NAME    ask the harness for a screenshot: writes NAME.shot beside LOG and
//                      waits until the harness has deleted it
//   set timeout=N / set settle=MS   defaults of later steps (settle: pause before a new
//                      dialog is recorded, so that posted initialisation is done; 300 ms)
//   end             wait until the program and every followed process have ended; a new
//                   dialog meanwhile is a failure
//   leave           stop without waiting for the end
//   answer-defaults  answer every dialog that appears with its default button until the
//                   program and every followed process have ended
// Without end or leave the scenario ends with an implicit end. With --shots every dialog that
// an expect step takes is also photographed (NN-expect.shot requests).
// With --at-once nothing waits a fixed time: a new dialog counts as soon as it is visible
// (the platform shows a dialog only after its initialisation; reading its controls waits
// until its thread takes messages), every wait looks again after 5 ms instead of 100, and
// the settle pause is 0; a step that answers therefore does so as soon as the dialog is
// ready, and the log's "ms" times an installation. ("set settle=MS" still works.) It also
// runs the program with Wine's X11 driver managing no window, which spares the 2 s that
// Wine waits, without a window manager, each time a dialog closes (see SetUnmanaged).
#include <windows.h>
#include <shellapi.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "driver.h"
#include "json.h"
#include "probe.h"

namespace orvdrive {

static bool ReadScenario(const wchar_t* path, std::vector<Step>& steps, std::string& err) {
  HANDLE h = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
  if (h == INVALID_HANDLE_VALUE) {
    err = "cannot open the scenario";
    return false;
  }
  std::string text;
  char buf[4096];
  DWORD got;
  while (ReadFile(h, buf, sizeof buf, &got, NULL) && got) text.append(buf, got);
  CloseHandle(h);
  return ParseScenario(text, steps, err);
}

static std::wstring QuoteProgram(const std::wstring& p) {
  if (p.find_first_of(L" \t") == std::wstring::npos) return p;
  return L"\"" + p + L"\"";
}

static int Usage() {
  fputs("usage: orvdrive [--shots] [--at-once] SCENARIO LOG -- PROGRAM [ARG...]\n"
        "       orvdrive [--shots] [--at-once] SCENARIO LOG --cmdline \"COMMAND LINE\"\n", stderr);
  return 2;
}

// Wine's X11 driver waits up to 2 s, each time a top-level window that the window manager
// manages is hidden, for the manager to acknowledge it; under Xvfb there is none, so every
// closed dialog costs 2 s (measured: 2.0 to 2.1 s between an answer and the next message box,
// in a program that shows two in a row). --at-once therefore runs the program with Wine's
// X11 driver managing no window ("Managed"="N" under HKCU\Software\Wine\X11 Driver, read
// by each process as it starts), and puts the value back as it was at the end.
const wchar_t kX11Key[] = L"Software\\Wine\\X11 Driver";

void Driver::SetUnmanaged() {
  HKEY key;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, kX11Key, 0, NULL, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, NULL, &key, NULL) !=
      ERROR_SUCCESS)
    return;
  DWORD type = 0, size = sizeof oldManaged - sizeof(wchar_t);
  ZeroMemory(oldManaged, sizeof oldManaged);
  hadManaged = RegQueryValueExW(key, L"Managed", NULL, &type, (BYTE*)oldManaged, &size) == ERROR_SUCCESS &&
               type == REG_SZ;
  unmanagedSet = RegSetValueExW(key, L"Managed", 0, REG_SZ, (const BYTE*)L"N", 2 * sizeof(wchar_t)) == ERROR_SUCCESS;
  RegCloseKey(key);
  Log("{\"event\":\"x11-unmanaged\",\"set\":" + Bool(unmanagedSet) + "}");
}

void Driver::RestoreManaged() {
  if (!unmanagedSet) return;
  HKEY key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kX11Key, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
  if (hadManaged)
    RegSetValueExW(key, L"Managed", 0, REG_SZ, (const BYTE*)oldManaged, (DWORD)(wcslen(oldManaged) + 1) * sizeof(wchar_t));
  else
    RegDeleteValueW(key, L"Managed");
  RegCloseKey(key);
}

// Under Wine the session's desktop (its explorer.exe process) starts when the first program
// of the session uses a window, and that program waits for it: 0.2 s here, which Windows,
// whose desktop is there before any program runs, never costs. The driver brings the desktop
// up before it starts the program, so that the log times the program and not the session.
void Driver::ReadyDesktop() {
  HWND desktop = GetDesktopWindow();
  Log("{\"event\":\"desktop\",\"ready\":" + Bool(desktop != NULL && IsWindow(desktop)) + "}");
}

void Driver::Finish(bool ok) {
  if (!ok) {
    // Nothing is left waiting for an answer that will not come.
    for (Proc& p : procs)
      if (!p.ended) {
        TerminateProcess(p.handle, 0xDEAD);
        Log("{\"event\":\"terminated\",\"pid\":" + Num(p.pid) + "}");
        if (WaitForSingleObject(p.handle, 10000) == WAIT_OBJECT_0) RecordExit(p);
      }
  }
  RestoreManaged();
  Log("{\"event\":\"result\",\"ok\":" + Bool(ok) + ",\"reason\":" + Json(failure.reason) +
      ",\"line\":" + Num(failure.line) + "}");
}

}  // namespace orvdrive

int main() {
  using namespace orvdrive;
  Driver d;
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  d.startTick = GetTickCount();
  int i = 1;
  for (; i < argc; i++) {
    if (wcscmp(argv[i], L"--shots") == 0) {
      d.shots = true;
    } else if (wcscmp(argv[i], L"--at-once") == 0) {
      d.settleMs = 0;
      d.pollMs = kAtOncePollMs;
    } else {
      break;
    }
  }
  if (argc - i < 4) return Usage();
  const wchar_t* scenario = argv[i];
  const wchar_t* log = argv[i + 1];
  std::wstring cmdline;
  if (wcscmp(argv[i + 2], L"--cmdline") == 0 && argc - i == 4) {
    cmdline = argv[i + 3];
  } else if (wcscmp(argv[i + 2], L"--") == 0) {
    cmdline = QuoteProgram(argv[i + 3]);
    for (int k = i + 4; k < argc; k++) cmdline += L" " + std::wstring(argv[k]);
  } else {
    return Usage();
  }

  d.logFile = _wfopen(log, L"wb");
  if (!d.logFile) {
    fputs("orvdrive: cannot write the log\n", stderr);
    return 2;
  }
  d.logDir = log;
  size_t slash = d.logDir.find_last_of(L"\\/");
  d.logDir = slash == std::wstring::npos ? L"" : d.logDir.substr(0, slash + 1);

  std::vector<Step> steps;
  std::string err;
  if (!ReadScenario(scenario, steps, err)) {
    d.failure.reason = "scenario: " + err;
    d.Finish(false);
    return 2;
  }

  if (d.pollMs == kAtOncePollMs) d.SetUnmanaged();
  d.ReadyDesktop();
  STARTUPINFOW si;
  ZeroMemory(&si, sizeof si);
  si.cb = sizeof si;
  PROCESS_INFORMATION pi;
  std::vector<wchar_t> cl(cmdline.begin(), cmdline.end());
  cl.push_back(0);
  if (!CreateProcessW(NULL, cl.data(), NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi)) {
    d.failure.reason = "cannot start the program (error " + Num(GetLastError()) + ")";
    d.Log("{\"event\":\"start\",\"cmdline\":" + Json(Utf8(cmdline.c_str())) + ",\"pid\":0}");
    d.Finish(false);
    return 1;
  }
  CloseHandle(pi.hThread);
  d.procs.push_back(Proc{pi.dwProcessId, pi.hProcess, true, false});
  d.Log("{\"event\":\"start\",\"cmdline\":" + Json(Utf8(cmdline.c_str())) + ",\"pid\":" + Num(pi.dwProcessId) + "}");

  bool ok = true, ended = false;
  for (const Step& s : steps) {
    if (!d.RunStep(s, ended)) {
      ok = false;
      break;
    }
    if (ended) break;
  }
  if (ok && !ended) {
    Step s;
    s.line = 0;
    s.text = "end (implicit)";
    s.verb = "end";
    ok = d.RunStep(s, ended);
  }
  d.Poll();
  d.Finish(ok);
  return ok ? 0 : 1;
}
