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
#include <tlhelp32.h>
#include <shellapi.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

namespace {

// ---- text ------------------------------------------------------------------------------

std::string Utf8(const wchar_t* w, int n = -1) {
  if (n == 0) return std::string();
  int len = WideCharToMultiByte(CP_UTF8, 0, w, n, NULL, 0, NULL, NULL);
  if (len <= 0) return std::string();
  std::string s(len, '\0');
  WideCharToMultiByte(CP_UTF8, 0, w, n, &s[0], len, NULL, NULL);
  if (n < 0 && !s.empty() && s.back() == '\0') s.pop_back();
  return s;
}

std::wstring Wide(const std::string& s) {
  if (s.empty()) return std::wstring();
  int len = MultiByteToWideChar(CP_UTF8, 0, s.data(), (int)s.size(), NULL, 0);
  std::wstring w(len, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, s.data(), (int)s.size(), &w[0], len);
  return w;
}

std::string Json(const std::string& s) {
  std::string o = "\"";
  for (unsigned char c : s) {
    if (c == '"') o += "\\\"";
    else if (c == '\\') o += "\\\\";
    else if (c == '\n') o += "\\n";
    else if (c == '\r') o += "\\r";
    else if (c == '\t') o += "\\t";
    else if (c < 0x20) {
      char b[8];
      snprintf(b, sizeof b, "\\u%04x", c);
      o += b;
    } else {
      o += (char)c;
    }
  }
  return o + "\"";
}

std::string Num(long long v) {
  char b[32];
  snprintf(b, sizeof b, "%lld", v);
  return b;
}

std::string Bool(bool b) { return b ? "true" : "false"; }

// ---- log -------------------------------------------------------------------------------

FILE* logFile;

DWORD startTick;

// Every line carries "ms": milliseconds since orvdrive started, as a last field.
void Log(const std::string& line) {
  if (!logFile) return;
  std::string stamped = line;
  if (!stamped.empty() && stamped.back() == '}')
    stamped.insert(stamped.size() - 1, std::string(stamped.size() > 2 ? "," : "") + "\"ms\":" +
                                           std::to_string((unsigned long)(GetTickCount() - startTick)));
  fputs(stamped.c_str(), logFile);
  fputc('\n', logFile);
  fflush(logFile);
}

// ---- windows ---------------------------------------------------------------------------

const UINT kMsgTimeout = 5000;

std::string ClassOf(HWND h) {
  wchar_t b[256];
  int n = GetClassNameW(h, b, 256);
  return n > 0 ? Utf8(b, n) : std::string();
}

// The text through WM_GETTEXT, so that a control of another process answers with what it
// holds now (an edit box's contents included).
std::string TextOf(HWND h) {
  DWORD_PTR len = 0;
  if (!SendMessageTimeoutW(h, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kMsgTimeout, &len)) return std::string();
  std::vector<wchar_t> b(len + 64, L'\0');
  DWORD_PTR got = 0;
  if (!SendMessageTimeoutW(h, WM_GETTEXT, b.size(), (LPARAM)b.data(), SMTO_ABORTIFHUNG, kMsgTimeout, &got))
    return std::string();
  b.back() = 0;
  return Utf8(b.data());
}

bool IsCheckable(HWND h, LONG style) {
  if (ClassOf(h) != "Button") return false;
  switch (style & BS_TYPEMASK) {
    case BS_CHECKBOX: case BS_AUTOCHECKBOX: case BS_3STATE: case BS_AUTO3STATE:
    case BS_RADIOBUTTON: case BS_AUTORADIOBUTTON:
      return true;
  }
  return false;
}

int CheckOf(HWND h) {
  DWORD_PTR r = 0;
  if (!SendMessageTimeoutW(h, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, kMsgTimeout, &r)) return -1;
  return (int)r;
}

bool IsListBox(HWND h) {
  std::string c = ClassOf(h);
  return _stricmp(c.c_str(), "ListBox") == 0;
}

// List entries through the wide call: an entry read across processes answers in UTF-16.
std::vector<std::string> ItemsOf(HWND h) {
  std::vector<std::string> items;
  DWORD_PTR count = 0;
  if (!SendMessageTimeoutW(h, LB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, kMsgTimeout, &count)) return items;
  for (DWORD_PTR i = 0; i < count && i < 10000; i++) {
    DWORD_PTR len = 0;
    SendMessageTimeoutW(h, LB_GETTEXTLEN, i, 0, SMTO_ABORTIFHUNG, kMsgTimeout, &len);
    if (len == (DWORD_PTR)LB_ERR) len = 0;
    std::vector<wchar_t> b(len * 2 + 512, L'\0');
    DWORD_PTR got = 0;
    SendMessageTimeoutW(h, LB_GETTEXT, i, (LPARAM)b.data(), SMTO_ABORTIFHUNG, kMsgTimeout, &got);
    b.back() = 0;
    items.push_back(Utf8(b.data()));
  }
  return items;
}

int SelectedOf(HWND h) {
  DWORD_PTR r = 0;
  if (!SendMessageTimeoutW(h, LB_GETCURSEL, 0, 0, SMTO_ABORTIFHUNG, kMsgTimeout, &r)) return -1;
  return (int)(LONG_PTR)r;
}

struct Control {
  int id;
  HWND hwnd;
  std::string cls, text;
  LONG style;
  bool visible, enabled;
  int checked;  // -1: not a check box or radio button
  bool list;
  std::vector<std::string> items;
  int selected;
};

BOOL CALLBACK CollectChild(HWND h, LPARAM p) {
  ((std::vector<HWND>*)p)->push_back(h);
  return TRUE;
}

Control ReadControl(HWND h) {
  Control c;
  c.hwnd = h;
  c.id = GetDlgCtrlID(h) & 0xFFFF;
  c.cls = ClassOf(h);
  c.style = GetWindowLongW(h, GWL_STYLE);
  c.text = TextOf(h);
  c.visible = IsWindowVisible(h) != 0;
  c.enabled = IsWindowEnabled(h) != 0;
  c.checked = IsCheckable(h, c.style) ? CheckOf(h) : -1;
  c.list = IsListBox(h);
  c.selected = -1;
  if (c.list) {
    c.items = ItemsOf(h);
    c.selected = SelectedOf(h);
  }
  return c;
}

std::vector<Control> ControlsOf(HWND dlg) {
  std::vector<HWND> hs;
  EnumChildWindows(dlg, CollectChild, (LPARAM)&hs);
  std::vector<Control> cs;
  for (HWND h : hs) cs.push_back(ReadControl(h));
  return cs;
}

std::string ControlJson(const Control& c) {
  std::string s = "{\"id\":" + Num(c.id) + ",\"class\":" + Json(c.cls) + ",\"text\":" + Json(c.text) +
                  ",\"style\":" + Num((unsigned long)c.style) + ",\"visible\":" + Bool(c.visible) +
                  ",\"enabled\":" + Bool(c.enabled);
  if (c.checked >= 0) s += ",\"checked\":" + Num(c.checked);
  if (c.list) {
    s += ",\"items\":[";
    for (size_t i = 0; i < c.items.size(); i++) s += (i ? "," : "") + Json(c.items[i]);
    s += "],\"selected\":" + Num(c.selected);
  }
  return s + "}";
}

struct WindowInfo {
  HWND hwnd;
  DWORD pid;
  std::string cls, caption, text;
  bool visible, enabled;
  std::vector<Control> controls;
};

WindowInfo ReadWindow(HWND h) {
  WindowInfo w;
  w.hwnd = h;
  GetWindowThreadProcessId(h, &w.pid);
  w.cls = ClassOf(h);
  w.caption = TextOf(h);
  w.visible = IsWindowVisible(h) != 0;
  w.enabled = IsWindowEnabled(h) != 0;
  w.controls = ControlsOf(h);
  for (const Control& c : w.controls)
    if (c.id == 0xFFFF && c.cls == "Static") w.text = c.text;
  return w;
}

std::string WindowJson(const WindowInfo& w) {
  std::string s = "{\"hwnd\":" + Num((long long)(ULONG_PTR)w.hwnd) + ",\"pid\":" + Num(w.pid) +
                  ",\"class\":" + Json(w.cls) + ",\"caption\":" + Json(w.caption) + ",\"text\":" + Json(w.text) +
                  ",\"visible\":" + Bool(w.visible) + ",\"enabled\":" + Bool(w.enabled) + ",\"controls\":[";
  for (size_t i = 0; i < w.controls.size(); i++) s += (i ? "," : "") + ControlJson(w.controls[i]);
  return s + "]}";
}

std::string Describe(const WindowInfo& w) {
  return "class " + Json(w.cls) + " caption " + Json(w.caption) + " text " + Json(w.text);
}

// ---- followed processes and their windows ----------------------------------------------

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

std::vector<Proc> procs;
std::vector<DWORD> systemPids;

// Wine's session processes, which a program's first call may start as its child (the
// desktop's explorer.exe, the service manager): logged, but neither followed nor waited for.
bool IsSessionProcess(const wchar_t* exe) {
  static const wchar_t* const names[] = {L"explorer.exe", L"services.exe", L"winedevice.exe", L"plugplay.exe",
                                         L"rpcss.exe", L"svchost.exe", L"wineboot.exe", L"conhost.exe"};
  for (const wchar_t* n : names)
    if (_wcsicmp(exe, n) == 0) return true;
  return false;
}

bool Ignored(DWORD pid) {
  for (DWORD p : systemPids)
    if (p == pid) return true;
  return false;
}
std::vector<Seen> seen;
DWORD settleMs = 300;
// The pause between two looks at the followed processes and their windows; --at-once
// shortens it (and the settle pause to nothing) so that every dialog is answered as soon as
// it is shown.
DWORD pollMs = 100;
const DWORD kAtOncePollMs = 5;

bool Followed(DWORD pid) {
  for (const Proc& p : procs)
    if (p.pid == pid) return true;
  return false;
}

void RecordExit(Proc& p) {
  DWORD code = 0;
  GetExitCodeProcess(p.handle, &code);
  p.ended = true;
  Log("{\"event\":\"exit\",\"pid\":" + Num(p.pid) + ",\"main\":" + Bool(p.main) + ",\"code\":" + Num((int)code) +
      "}");
}

void UpdateProcesses() {
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snap != INVALID_HANDLE_VALUE) {
    PROCESSENTRY32W e;
    e.dwSize = sizeof e;
    // A child keeps its parent's id in the snapshot after the parent has ended, so a
    // process started just before its parent ended is still found.
    for (BOOL ok = Process32FirstW(snap, &e); ok; ok = Process32NextW(snap, &e)) {
      if (Followed(e.th32ProcessID) || Ignored(e.th32ProcessID) || !Followed(e.th32ParentProcessID)) continue;
      if (IsSessionProcess(e.szExeFile)) {
        systemPids.push_back(e.th32ProcessID);
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

bool AllEnded() {
  for (const Proc& p : procs)
    if (!p.ended) return false;
  return true;
}

BOOL CALLBACK CollectTop(HWND h, LPARAM p) {
  ((std::vector<HWND>*)p)->push_back(h);
  return TRUE;
}

Seen* Find(HWND h) {
  for (Seen& s : seen)
    if (s.hwnd == h) return &s;
  return NULL;
}

// One polling round: new processes, ended processes, new visible windows. A window is
// written to the log once it has been visible for the settle time.
void Poll() {
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

// ---- scenario --------------------------------------------------------------------------

struct Arg {
  std::string key;    // empty for a positional value
  std::string value;
  bool substring;     // key~=value
  bool quoted;
};

struct Step {
  int line;
  std::string text;
  std::string verb;
  std::vector<Arg> args;
};

bool ParseValue(const char*& p, std::string& out, bool& quoted, std::string& err) {
  out.clear();
  quoted = false;
  if (*p == '"') {
    quoted = true;
    p++;
    while (*p && *p != '"') {
      if (*p == '\\') {
        p++;
        switch (*p) {
          case 'r': out += '\r'; break;
          case 'n': out += '\n'; break;
          case 't': out += '\t'; break;
          case '\\': out += '\\'; break;
          case '"': out += '"'; break;
          default: err = "unknown escape"; return false;
        }
        p++;
      } else {
        out += *p++;
      }
    }
    if (*p != '"') {
      err = "unterminated quote";
      return false;
    }
    p++;
    return true;
  }
  while (*p && *p != ' ' && *p != '\t') out += *p++;
  return true;
}

bool ParseLine(const std::string& line, int no, Step& step, std::string& err) {
  step.line = no;
  step.text = line;
  const char* p = line.c_str();
  while (*p == ' ' || *p == '\t') p++;
  while (*p && *p != ' ' && *p != '\t') step.verb += *p++;
  while (true) {
    while (*p == ' ' || *p == '\t') p++;
    if (!*p) break;
    Arg a;
    a.substring = false;
    const char* q = p;
    while (*q && *q != '=' && *q != ' ' && *q != '\t' && *q != '"') q++;
    if (*q == '=' && q > p) {
      a.key.assign(p, q);
      if (!a.key.empty() && a.key.back() == '~') {
        a.key.pop_back();
        a.substring = true;
      }
      p = q + 1;
    }
    if (!ParseValue(p, a.value, a.quoted, err)) return false;
    if (*p && *p != ' ' && *p != '\t') {
      err = "text after a value";
      return false;
    }
    step.args.push_back(a);
  }
  return true;
}

const Arg* Named(const Step& s, const char* key) {
  for (const Arg& a : s.args)
    if (a.key == key) return &a;
  return NULL;
}

const Arg* Positional(const Step& s, size_t n) {
  for (const Arg& a : s.args)
    if (a.key.empty() && n-- == 0) return &a;
  return NULL;
}

bool Matches(const Arg* want, const std::string& got) {
  if (!want) return true;
  return want->substring ? got.find(want->value) != std::string::npos : got == want->value;
}

bool ParseInt(const std::string& s, long& v) {
  if (s.empty()) return false;
  char* end;
  v = strtol(s.c_str(), &end, 0);
  return *end == 0;
}

// ---- running ---------------------------------------------------------------------------

struct Failure {
  bool failed = false;
  std::string reason;
  int line = 0;
};

Failure failure;
DWORD timeoutMs = 120000;
HWND current;
bool shots;
int shotCount;
std::wstring logDir;

bool Fail(const Step& s, const std::string& reason) {
  failure.failed = true;
  failure.reason = "line " + Num(s.line) + " (" + s.text + "): " + reason;
  failure.line = s.line;
  return false;
}

DWORD StepTimeout(const Step& s) {
  long v;
  const Arg* t = Named(s, "timeout");
  if (t && ParseInt(t->value, v) && v > 0) return (DWORD)v * 1000;
  return timeoutMs;
}

// The next new visible window of the class, recorded and not yet taken.
Seen* NextNew(const std::string& cls) {
  for (Seen& s : seen)
    if (!s.consumed && s.recorded && s.cls == cls && IsWindow(s.hwnd) && IsWindowVisible(s.hwnd)) return &s;
  return NULL;
}

bool RequestShot(const std::string& name, const Step& s) {
  std::wstring path = logDir + Wide(name) + L".shot";
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (h == INVALID_HANDLE_VALUE) return Fail(s, "cannot write the screenshot request");
  CloseHandle(h);
  DWORD start = GetTickCount();
  while (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) {
    if (GetTickCount() - start > 60000) return Fail(s, "the harness took no screenshot within 60 s");
    Sleep(100);
  }
  return true;
}

bool DoExpect(const Step& s) {
  const Arg* cls = Named(s, "class");
  std::string wantClass = cls ? cls->value : "#32770";
  DWORD start = GetTickCount(), limit = StepTimeout(s);
  while (true) {
    Poll();
    if (Seen* n = NextNew(wantClass)) {
      n->consumed = true;
      WindowInfo w = ReadWindow(n->hwnd);
      Log("{\"event\":\"match\",\"hwnd\":" + Num((long long)(ULONG_PTR)n->hwnd) + ",\"window\":" + WindowJson(w) +
          "}");
      if (!Matches(Named(s, "caption"), w.caption) || !Matches(Named(s, "text"), w.text))
        return Fail(s, "unexpected window: " + Describe(w));
      current = n->hwnd;
      if (shots) return RequestShot(Num(++shotCount) + "-expect", s);
      return true;
    }
    if (GetTickCount() - start > limit) return Fail(s, "time-out waiting for the window");
    if (AllEnded()) {
      Poll();
      if (NextNew(wantClass)) continue;
      return Fail(s, "the program ended before the window appeared");
    }
    Sleep(pollMs);
  }
}

bool DoFocus(const Step& s) {
  DWORD start = GetTickCount(), limit = StepTimeout(s);
  while (true) {
    Poll();
    for (size_t i = seen.size(); i-- > 0;) {
      Seen& c = seen[i];
      if (!c.recorded || !IsWindow(c.hwnd) || !IsWindowVisible(c.hwnd)) continue;
      WindowInfo w = ReadWindow(c.hwnd);
      if (Matches(Named(s, "caption"), w.caption) && Matches(Named(s, "text"), w.text)) {
        c.consumed = true;
        current = c.hwnd;
        return true;
      }
    }
    if (GetTickCount() - start > limit) return Fail(s, "time-out: no open window matches");
    Sleep(pollMs);
  }
}

bool ControlId(const Step& s, int& id) {
  const Arg* a = Positional(s, 0);
  long v;
  if (!a || !ParseInt(a->value, v)) return Fail(s, "a control id is needed");
  id = (int)v;
  return true;
}

bool NeedCurrent(const Step& s) {
  if (!current) return Fail(s, "no current dialog (expect one first)");
  if (!IsWindow(current)) return Fail(s, "the current dialog is gone");
  return true;
}

HWND Item(HWND dlg, int id) {
  std::vector<HWND> hs;
  EnumChildWindows(dlg, CollectChild, (LPARAM)&hs);
  for (HWND h : hs)
    if ((GetDlgCtrlID(h) & 0xFFFF) == id) return h;
  return NULL;
}

std::string JoinItems(const std::vector<std::string>& items) {
  std::string s;
  for (size_t i = 0; i < items.size(); i++) s += (i ? "|" : "") + items[i];
  return s;
}

// Checks one control against the step; an empty result means it holds.
std::string ControlMismatch(const Step& s, int id) {
  HWND h = Item(current, id);
  bool wantMissing = false;
  for (const Arg& a : s.args)
    if (a.key.empty() && a.value == "missing") wantMissing = true;
  if (wantMissing) return h ? "control exists" : "";
  if (!h) return "no control with this id";
  Control c = ReadControl(h);
  std::string bad;
  auto flag = [&](const char* key, long got) {
    const Arg* a = Named(s, key);
    long v;
    if (a && (!ParseInt(a->value, v) || v != got)) bad += std::string(" ") + key + "=" + Num(got);
  };
  if (!Matches(Named(s, "text"), c.text)) bad += " text=" + Json(c.text);
  if (!Matches(Named(s, "class"), c.cls)) bad += " class=" + Json(c.cls);
  flag("visible", c.visible);
  flag("enabled", c.enabled);
  flag("checked", c.checked);
  flag("selected", c.selected);
  if (!Matches(Named(s, "items"), JoinItems(c.items))) bad += " items=" + Json(JoinItems(c.items));
  return bad.empty() ? "" : "got" + bad;
}

bool DoControl(const Step& s) {
  int id;
  if (!NeedCurrent(s) || !ControlId(s, id)) return false;
  DWORD start = GetTickCount(), limit = StepTimeout(s);
  while (true) {
    std::string bad = ControlMismatch(s, id);
    if (bad.empty()) return true;
    if (GetTickCount() - start > limit || !IsWindow(current)) return Fail(s, bad);
    Sleep(pollMs);
    Poll();
  }
}

// The button a user's Enter would press: the push button with the default style, else OK.
// (A message box's DM_GETDEFID does not follow MB_DEFBUTTON2; its button styles do.)
int DefaultButton(HWND dlg) {
  std::vector<HWND> hs;
  EnumChildWindows(dlg, CollectChild, (LPARAM)&hs);
  for (HWND h : hs)
    if (ClassOf(h) == "Button" && (GetWindowLongW(h, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON &&
        IsWindowVisible(h) && IsWindowEnabled(h))
      return GetDlgCtrlID(h) & 0xFFFF;
  return Item(dlg, IDOK) ? IDOK : -1;
}

bool DoPress(const Step& s) {
  int id;
  if (!NeedCurrent(s)) return false;
  const Arg* a = Positional(s, 0);
  if (a && a->value == "default") {
    id = DefaultButton(current);
    if (id < 0) return Fail(s, "the dialog has no default button");
  } else if (!ControlId(s, id)) {
    return false;
  }
  HWND h = Item(current, id);
  if (!h) return Fail(s, "no control with this id");
  PostMessageW(current, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)h);
  return true;
}

bool DoClick(const Step& s) {
  int id;
  if (!NeedCurrent(s) || !ControlId(s, id)) return false;
  HWND h = Item(current, id);
  if (!h) return Fail(s, "no control with this id");
  PostMessageW(h, BM_CLICK, 0, 0);
  return true;
}

bool DoType(const Step& s) {
  int id;
  if (!NeedCurrent(s) || !ControlId(s, id)) return false;
  const Arg* t = Positional(s, 1);
  if (!t) return Fail(s, "the text to type is missing");
  HWND h = Item(current, id);
  if (!h) return Fail(s, "no control with this id");
  std::wstring w = Wide(t->value);
  DWORD_PTR r = 0;
  if (!SendMessageTimeoutW(h, WM_SETTEXT, 0, (LPARAM)w.c_str(), SMTO_NORMAL, StepTimeout(s), &r))
    return Fail(s, "WM_SETTEXT was not answered");
  return true;
}

bool DoTick(const Step& s, int want) {
  int id;
  if (!NeedCurrent(s) || !ControlId(s, id)) return false;
  HWND h = Item(current, id);
  if (!h) return Fail(s, "no control with this id");
  DWORD start = GetTickCount(), limit = StepTimeout(s);
  DWORD lastClick = 0;
  bool clicked = false;
  while (true) {
    int got = CheckOf(h);
    if (got == want) return true;
    // A click is posted; another follows only when the first has had time to act.
    if (!clicked || GetTickCount() - lastClick > 5000) {
      if (!IsWindowEnabled(h)) return Fail(s, "the check box is disabled");
      PostMessageW(h, BM_CLICK, 0, 0);
      clicked = true;
      lastClick = GetTickCount();
    }
    if (GetTickCount() - start > limit) return Fail(s, "the check box stays at " + Num(got));
    Sleep(pollMs);
    Poll();
  }
}

bool DoPick(const Step& s) {
  int id;
  if (!NeedCurrent(s) || !ControlId(s, id)) return false;
  const Arg* e = Positional(s, 1);
  if (!e) return Fail(s, "the entry is missing");
  HWND h = Item(current, id);
  if (!h) return Fail(s, "no control with this id");
  long index = -1;
  if (e->quoted || !ParseInt(e->value, index)) {
    std::vector<std::string> items = ItemsOf(h);
    index = -1;
    for (size_t i = 0; i < items.size(); i++)
      if (items[i] == e->value) index = (long)i;
    if (index < 0) return Fail(s, "no entry " + Json(e->value) + " among " + Json(JoinItems(items)));
  }
  DWORD_PTR r = 0;
  if (!SendMessageTimeoutW(h, LB_SETCURSEL, index, 0, SMTO_NORMAL, StepTimeout(s), &r) || (LONG_PTR)r == LB_ERR)
    return Fail(s, "LB_SETCURSEL failed");
  PostMessageW(GetParent(h), WM_COMMAND, MAKEWPARAM(id, LBN_SELCHANGE), (LPARAM)h);
  return true;
}

bool DoGone(const Step& s) {
  if (!current) return Fail(s, "no current dialog");
  DWORD start = GetTickCount(), limit = StepTimeout(s);
  while (IsWindow(current) && IsWindowVisible(current)) {
    if (GetTickCount() - start > limit) return Fail(s, "time-out: the dialog is still open");
    Sleep(pollMs);
    Poll();
  }
  return true;
}

bool DoWaitFile(const Step& s) {
  const Arg* p = Positional(s, 0);
  if (!p) return Fail(s, "a path is needed");
  const Arg* g = Positional(s, 1);
  bool wantGone = g && g->value == "gone";
  std::wstring w = Wide(p->value);
  DWORD start = GetTickCount(), limit = StepTimeout(s);
  while ((GetFileAttributesW(w.c_str()) != INVALID_FILE_ATTRIBUTES) == wantGone) {
    if (GetTickCount() - start > limit) return Fail(s, wantGone ? "time-out: the file stays" : "time-out: no file");
    Sleep(pollMs);
    Poll();
  }
  return true;
}

bool DoSleep(const Step& s) {
  const Arg* a = Positional(s, 0);
  long ms;
  if (!a || !ParseInt(a->value, ms) || ms < 0) return Fail(s, "milliseconds are needed");
  DWORD start = GetTickCount();
  while (GetTickCount() - start < (DWORD)ms) {
    Sleep(50);
    Poll();
  }
  return true;
}

bool DoEnd(const Step& s) {
  DWORD start = GetTickCount(), limit = StepTimeout(s);
  while (true) {
    Poll();
    for (Seen& n : seen)
      if (!n.consumed && n.recorded && n.cls == "#32770" && IsWindow(n.hwnd) && IsWindowVisible(n.hwnd)) {
        n.consumed = true;
        return Fail(s, "unexpected window: " + Describe(ReadWindow(n.hwnd)));
      }
    if (AllEnded()) {
      // A last look for children started just before the end.
      Sleep(2 * pollMs);
      Poll();
      if (AllEnded()) return true;
    }
    if (GetTickCount() - start > limit) return Fail(s, "time-out waiting for the program to end");
    Sleep(pollMs);
  }
}

// Answers every dialog that appears with its default button until the program and every
// followed process have ended.
bool DoAnswerDefaults(const Step& s) {
  DWORD start = GetTickCount(), limit = StepTimeout(s);
  while (true) {
    Poll();
    if (Seen* n = NextNew("#32770")) {
      n->consumed = true;
      // The dialog as it was recorded a moment ago: reading every control of it again
      // would only delay the answer.
      Log("{\"event\":\"match\",\"hwnd\":" + Num((long long)(ULONG_PTR)n->hwnd) + ",\"window\":" + n->record + "}");
      current = n->hwnd;
      if (shots && !RequestShot(Num(++shotCount) + "-dialog", s)) return false;
      int id = DefaultButton(n->hwnd);
      if (id < 0) return Fail(s, "no default button in " + Describe(ReadWindow(n->hwnd)));
      Log("{\"event\":\"answer\",\"hwnd\":" + Num((long long)(ULONG_PTR)n->hwnd) + ",\"id\":" + Num(id) + "}");
      PostMessageW(n->hwnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)Item(n->hwnd, id));
      continue;
    }
    if (AllEnded()) {
      Sleep(2 * pollMs);
      Poll();
      if (AllEnded() && !NextNew("#32770")) return true;
    }
    if (GetTickCount() - start > limit) return Fail(s, "time-out: the program did not end");
    Sleep(pollMs);
  }
}

bool DoSet(const Step& s) {
  for (const Arg& a : s.args) {
    long v;
    if (!ParseInt(a.value, v) || v < 0) return Fail(s, "a number is needed");
    if (a.key == "timeout") timeoutMs = (DWORD)v * 1000;
    else if (a.key == "settle") settleMs = (DWORD)v;
    else return Fail(s, "unknown setting");
  }
  return true;
}

// Runs one step; false on a failure (already recorded). ended is set by end and leave.
bool RunStep(const Step& s, bool& ended) {
  Log("{\"event\":\"step\",\"line\":" + Num(s.line) + ",\"step\":" + Json(s.text) + "}");
  const std::string& v = s.verb;
  if (v == "expect") return DoExpect(s);
  if (v == "focus") return DoFocus(s);
  if (v == "control") return DoControl(s);
  if (v == "press") return DoPress(s);
  if (v == "click") return DoClick(s);
  if (v == "type") return DoType(s);
  if (v == "tick") return DoTick(s, BST_CHECKED);
  if (v == "untick") return DoTick(s, BST_UNCHECKED);
  if (v == "pick") return DoPick(s);
  if (v == "gone") return DoGone(s);
  if (v == "wait-file") return DoWaitFile(s);
  if (v == "sleep") return DoSleep(s);
  if (v == "set") return DoSet(s);
  if (v == "screenshot") {
    const Arg* a = Positional(s, 0);
    return a ? RequestShot(a->value, s) : Fail(s, "a name is needed");
  }
  if (v == "end") {
    ended = true;
    return DoEnd(s);
  }
  if (v == "answer-defaults") {
    ended = true;
    return DoAnswerDefaults(s);
  }
  if (v == "leave") {
    ended = true;
    return true;
  }
  return Fail(s, "unknown step");
}

bool ReadScenario(const wchar_t* path, std::vector<Step>& steps, std::string& err) {
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
  size_t pos = 0;
  int no = 0;
  while (pos < text.size()) {
    size_t nl = text.find('\n', pos);
    if (nl == std::string::npos) nl = text.size();
    std::string line = text.substr(pos, nl - pos);
    pos = nl + 1;
    no++;
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.pop_back();
    size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos || line[first] == '#') continue;
    Step s;
    if (!ParseLine(line.substr(first), no, s, err)) {
      err = "line " + Num(no) + ": " + err;
      return false;
    }
    steps.push_back(s);
  }
  return true;
}

std::wstring QuoteProgram(const std::wstring& p) {
  if (p.find_first_of(L" \t") == std::wstring::npos) return p;
  return L"\"" + p + L"\"";
}

int Usage() {
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
bool unmanagedSet, hadManaged;
wchar_t oldManaged[64];

void SetUnmanaged() {
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

void RestoreManaged() {
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
void ReadyDesktop() {
  HWND desktop = GetDesktopWindow();
  Log("{\"event\":\"desktop\",\"ready\":" + Bool(desktop != NULL && IsWindow(desktop)) + "}");
}

void Finish(bool ok) {
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

}  // namespace

int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  startTick = GetTickCount();
  int i = 1;
  for (; i < argc; i++) {
    if (wcscmp(argv[i], L"--shots") == 0) {
      shots = true;
    } else if (wcscmp(argv[i], L"--at-once") == 0) {
      settleMs = 0;
      pollMs = kAtOncePollMs;
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

  logFile = _wfopen(log, L"wb");
  if (!logFile) {
    fputs("orvdrive: cannot write the log\n", stderr);
    return 2;
  }
  logDir = log;
  size_t slash = logDir.find_last_of(L"\\/");
  logDir = slash == std::wstring::npos ? L"" : logDir.substr(0, slash + 1);

  std::vector<Step> steps;
  std::string err;
  if (!ReadScenario(scenario, steps, err)) {
    failure.reason = "scenario: " + err;
    Finish(false);
    return 2;
  }

  if (pollMs == kAtOncePollMs) SetUnmanaged();
  ReadyDesktop();
  STARTUPINFOW si;
  ZeroMemory(&si, sizeof si);
  si.cb = sizeof si;
  PROCESS_INFORMATION pi;
  std::vector<wchar_t> cl(cmdline.begin(), cmdline.end());
  cl.push_back(0);
  if (!CreateProcessW(NULL, cl.data(), NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi)) {
    failure.reason = "cannot start the program (error " + Num(GetLastError()) + ")";
    Log("{\"event\":\"start\",\"cmdline\":" + Json(Utf8(cmdline.c_str())) + ",\"pid\":0}");
    Finish(false);
    return 1;
  }
  CloseHandle(pi.hThread);
  procs.push_back(Proc{pi.dwProcessId, pi.hProcess, true, false});
  Log("{\"event\":\"start\",\"cmdline\":" + Json(Utf8(cmdline.c_str())) + ",\"pid\":" + Num(pi.dwProcessId) + "}");

  bool ok = true, ended = false;
  for (const Step& s : steps) {
    if (!RunStep(s, ended)) {
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
    ok = RunStep(s, ended);
  }
  Poll();
  Finish(ok);
  return ok ? 0 : 1;
}
