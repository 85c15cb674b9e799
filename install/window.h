#pragma once
// The main window's procedure and the worker thread that it starts.
#include <windows.h>

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
