// orvdrive's following: the program and every process it starts (descendants of
// descendants too, through Toolhelp snapshots), and their visible top-level windows.
#include <windows.h>
#include <tlhelp32.h>

#include "driver.h"
#include "json.h"
#include "probe.h"

namespace orvdrive {

// Wine's session processes, which a program's first call may start as its child (the
// desktop's explorer.exe, the service manager): logged, but neither followed nor waited for.
static bool IsSessionProcess(const wchar_t* exe) {
  static const wchar_t* const names[] = {L"explorer.exe", L"services.exe", L"winedevice.exe", L"plugplay.exe",
                                         L"rpcss.exe", L"svchost.exe", L"wineboot.exe", L"conhost.exe"};
  for (const wchar_t* n : names)
    if (_wcsicmp(exe, n) == 0) return true;
  return false;
}

bool Driver::Ignored(DWORD pid) {
  for (DWORD p : sessionPids)
    if (p == pid) return true;
  return false;
}
bool Driver::Followed(DWORD pid) {
  for (const Proc& p : procs)
    if (p.pid == pid) return true;
  return false;
}

void Driver::RecordExit(Proc& p) {
  DWORD code = 0;
  GetExitCodeProcess(p.handle, &code);
  p.ended = true;
  Log("{\"event\":\"exit\",\"pid\":" + Num(p.pid) + ",\"main\":" + Bool(p.main) + ",\"code\":" + Num((int)code) +
      "}");
}

void Driver::UpdateProcesses() {
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snap != INVALID_HANDLE_VALUE) {
    PROCESSENTRY32W e;
    e.dwSize = sizeof e;
    // A child keeps its parent's id in the snapshot after the parent has ended, so a
    // process started just before its parent ended is still found.
    for (BOOL ok = Process32FirstW(snap, &e); ok; ok = Process32NextW(snap, &e)) {
      if (Followed(e.th32ProcessID) || Ignored(e.th32ProcessID) || !Followed(e.th32ParentProcessID)) continue;
      if (IsSessionProcess(e.szExeFile)) {
        sessionPids.push_back(e.th32ProcessID);
        Log("{\"event\":\"process\",\"pid\":" + Num(e.th32ProcessID) + ",\"parent\":" +
            Num(e.th32ParentProcessID) + ",\"exe\":" + Json(Utf8(e.szExeFile)) + ",\"session\":true}");
        continue;
      }
      HANDLE h = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_TERMINATE, FALSE, e.th32ProcessID);
      if (!h) continue;
      procs.push_back(Proc{e.th32ProcessID, h, false, false});
      Log("{\"event\":\"process\",\"pid\":" + Num(e.th32ProcessID) + ",\"parent\":" + Num(e.th32ParentProcessID) +
          ",\"exe\":" + Json(Utf8(e.szExeFile)) + "}");
    }
    CloseHandle(snap);
  }
  for (Proc& p : procs)
    if (!p.ended && WaitForSingleObject(p.handle, 0) == WAIT_OBJECT_0) RecordExit(p);
}

bool Driver::AllEnded() {
  for (const Proc& p : procs)
    if (!p.ended) return false;
  return true;
}

static BOOL CALLBACK CollectTop(HWND h, LPARAM p) {
  ((std::vector<HWND>*)p)->push_back(h);
  return TRUE;
}

Seen* Driver::Find(HWND h) {
  for (Seen& s : seen)
    if (s.hwnd == h) return &s;
  return NULL;
}

// One polling round: new processes, ended processes, new visible windows. A window is
// written to the log once it has been visible for the settle time.
void Driver::Poll() {
  UpdateProcesses();
  // A destroyed window is forgotten, so that a new one with the same handle counts as new.
  for (size_t i = seen.size(); i-- > 0;)
    if (!IsWindow(seen[i].hwnd)) seen.erase(seen.begin() + i);
  std::vector<HWND> tops;
  EnumWindows(CollectTop, (LPARAM)&tops);
  DWORD now = GetTickCount();
  for (HWND h : tops) {
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    if (!Followed(pid) || !IsWindowVisible(h)) continue;
    Seen* s = Find(h);
    if (!s) {
      seen.push_back(Seen{h, now, false, false, ClassOf(h), std::string()});
      s = &seen.back();
    }
    // Without a settle pause a window is recorded in the round that first sees it.
    if (!s->recorded && now - s->firstTick >= settleMs) {
      s->recorded = true;
      s->record = WindowJson(ReadWindow(h));
      Log("{\"event\":\"window\"," + s->record.substr(1));
    }
  }
}

}  // namespace orvdrive
