// orvdrive's steps: each verb of the scenario language against the followed processes'
// windows (the language itself: scenario.h; the list of verbs: main.cpp's head).
#include <windows.h>

#include "driver.h"
#include "json.h"
#include "probe.h"

namespace orvdrive {

bool Driver::Fail(const Step& s, const std::string& reason) {
  failure.failed = true;
  failure.reason = "line " + Num(s.line) + " (" + s.text + "): " + reason;
  failure.line = s.line;
  return false;
}

DWORD Driver::StepTimeout(const Step& s) {
  long v;
  const Arg* t = Named(s, "timeout");
  if (t && ParseInt(t->value, v) && v > 0) return (DWORD)v * 1000;
  return timeoutMs;
}

// The next new visible window of the class, recorded and not yet taken.
Seen* Driver::NextNew(const std::string& cls) {
  for (Seen& s : seen)
    if (!s.consumed && s.recorded && s.cls == cls && IsWindow(s.hwnd) && IsWindowVisible(s.hwnd)) return &s;
  return NULL;
}

bool Driver::RequestShot(const std::string& name, const Step& s) {
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

bool Driver::DoExpect(const Step& s) {
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
      // A last look, as when waiting for the end: a child started just before its parent
      // ended may show up in a later snapshot than the parent's exit (a window of its own
      // still to come).
      Sleep(2 * pollMs);
      Poll();
      if (NextNew(wantClass) || !AllEnded()) continue;
      return Fail(s, "the program ended before the window appeared");
    }
    Sleep(pollMs);
  }
}

bool Driver::DoFocus(const Step& s) {
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

bool Driver::ControlId(const Step& s, int& id) {
  const Arg* a = Positional(s, 0);
  long v;
  if (!a || !ParseInt(a->value, v)) return Fail(s, "a control id is needed");
  id = (int)v;
  return true;
}

bool Driver::NeedCurrent(const Step& s) {
  if (!current) return Fail(s, "no current dialog (expect one first)");
  if (!IsWindow(current)) return Fail(s, "the current dialog is gone");
  return true;
}

// Checks one control against the step; an empty result means it holds.
std::string Driver::ControlMismatch(const Step& s, int id) {
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

bool Driver::DoControl(const Step& s) {
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

bool Driver::DoPress(const Step& s) {
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

bool Driver::DoClick(const Step& s) {
  int id;
  if (!NeedCurrent(s) || !ControlId(s, id)) return false;
  HWND h = Item(current, id);
  if (!h) return Fail(s, "no control with this id");
  PostMessageW(h, BM_CLICK, 0, 0);
  return true;
}

bool Driver::DoType(const Step& s) {
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

bool Driver::DoTick(const Step& s, int want) {
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

bool Driver::DoPick(const Step& s) {
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

bool Driver::DoGone(const Step& s) {
  if (!current) return Fail(s, "no current dialog");
  DWORD start = GetTickCount(), limit = StepTimeout(s);
  while (IsWindow(current) && IsWindowVisible(current)) {
    if (GetTickCount() - start > limit) return Fail(s, "time-out: the dialog is still open");
    Sleep(pollMs);
    Poll();
  }
  return true;
}

bool Driver::DoWaitFile(const Step& s) {
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

bool Driver::DoSleep(const Step& s) {
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

bool Driver::DoEnd(const Step& s) {
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
bool Driver::DoAnswerDefaults(const Step& s) {
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

bool Driver::DoSet(const Step& s) {
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
bool Driver::RunStep(const Step& s, bool& ended) {
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

}  // namespace orvdrive
