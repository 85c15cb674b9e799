// orvdrive's window probing: what a window and its controls show, read through messages
// with a time-out so that a control of another (perhaps hung) process answers or is skipped.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace orvdrive {

std::string Utf8(const wchar_t* w, int n = -1);
std::wstring Wide(const std::string& s);

std::string ClassOf(HWND h);
std::string TextOf(HWND h);
int CheckOf(HWND h);
std::vector<std::string> ItemsOf(HWND h);

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

struct WindowInfo {
  HWND hwnd;
  DWORD pid;
  std::string cls, caption, text;
  bool visible, enabled;
  std::vector<Control> controls;
};

BOOL CALLBACK CollectChild(HWND h, LPARAM p);
Control ReadControl(HWND h);
WindowInfo ReadWindow(HWND h);
std::string WindowJson(const WindowInfo& w);
std::string Describe(const WindowInfo& w);
// The child window of a dialog with the control id, or NULL.
HWND Item(HWND dlg, int id);
std::string JoinItems(const std::vector<std::string>& items);
// The button a user's Enter would press, or -1.
int DefaultButton(HWND dlg);

}  // namespace orvdrive
