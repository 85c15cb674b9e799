// orvdrive's window probing (see probe.h).
#include "probe.h"

#include "json.h"

namespace orvdrive {

std::string Utf8(const wchar_t* w, int n) {
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

static bool IsCheckable(HWND h, LONG style) {
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

static bool IsListBox(HWND h) {
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

static int SelectedOf(HWND h) {
  DWORD_PTR r = 0;
  if (!SendMessageTimeoutW(h, LB_GETCURSEL, 0, 0, SMTO_ABORTIFHUNG, kMsgTimeout, &r)) return -1;
  return (int)(LONG_PTR)r;
}

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

static std::vector<Control> ControlsOf(HWND dlg) {
  std::vector<HWND> hs;
  EnumChildWindows(dlg, CollectChild, (LPARAM)&hs);
  std::vector<Control> cs;
  for (HWND h : hs) cs.push_back(ReadControl(h));
  return cs;
}

static std::string ControlJson(const Control& c) {
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

}  // namespace orvdrive
