// orvdrive's state and its jobs: the log (log.cpp), the followed processes and their windows
// (follow.cpp), the scenario's steps (steps.cpp), and the start and end of a run (main.cpp).
// One Driver holds everything that changes during a run.
#pragma once

#include <windows.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "scenario.h"

namespace orvdrive {

struct Proc {
  DWORD pid;
  HANDLE handle;
  bool main;
  bool ended;
};

struct Seen {
  HWND hwnd;
  DWORD firstTick;
  bool recorded;   // written to the log (after the settle pause)
  bool consumed;   // taken by an expect step, or reported
  std::string cls;
  std::string record;  // the window as it was logged, once recorded
};

struct Failure {
  bool failed = false;
  std::string reason;
  int line = 0;
};

// The pause between two looks at the followed processes and their windows; --at-once
// shortens it (and the settle pause to nothing) so that every dialog is answered as soon as
// it is shown.
const DWORD kPollMs = 100;
const DWORD kAtOncePollMs = 5;

struct Driver {
  // -- the log (JSON lines, each stamped with the milliseconds since the start)
  FILE* logFile = NULL;
  DWORD startTick = 0;
  std::wstring logDir;  // where screenshot requests are written, with its last separator

  // -- the followed processes and the windows seen
  std::vector<Proc> procs;
  std::vector<DWORD> sessionPids;  // Wine's session processes: neither followed nor waited for
  std::vector<Seen> seen;

  // -- the run's settings and progress
  DWORD settleMs = 300;
  DWORD pollMs = kPollMs;
  DWORD timeoutMs = 120000;
  bool shots = false;
  int shotCount = 0;
  HWND current = NULL;
  Failure failure;

  // -- Wine's X11 "Managed" setting while --at-once runs (main.cpp)
  bool unmanagedSet = false, hadManaged = false;
  wchar_t oldManaged[64] = {};

  void Log(const std::string& line);

  bool Followed(DWORD pid);
  bool Ignored(DWORD pid);
  void RecordExit(Proc& p);
  void UpdateProcesses();
  bool AllEnded();
  Seen* Find(HWND h);
  void Poll();

  bool Fail(const Step& s, const std::string& reason);
  DWORD StepTimeout(const Step& s);
  Seen* NextNew(const std::string& cls);
  bool RequestShot(const std::string& name, const Step& s);
  bool ControlId(const Step& s, int& id);
  bool NeedCurrent(const Step& s);
  std::string ControlMismatch(const Step& s, int id);
  bool DoExpect(const Step& s);
  bool DoFocus(const Step& s);
  bool DoControl(const Step& s);
  bool DoPress(const Step& s);
  bool DoClick(const Step& s);
  bool DoType(const Step& s);
  bool DoTick(const Step& s, int want);
  bool DoPick(const Step& s);
  bool DoGone(const Step& s);
  bool DoWaitFile(const Step& s);
  bool DoSleep(const Step& s);
  bool DoEnd(const Step& s);
  bool DoAnswerDefaults(const Step& s);
  bool DoSet(const Step& s);
  bool RunStep(const Step& s, bool& ended);

  void SetUnmanaged();
  void RestoreManaged();
  void ReadyDesktop();
  void Finish(bool ok);
};

}  // namespace orvdrive
