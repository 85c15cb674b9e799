#pragma once
// The one module through which both programs reach the platform for every operation that
// can fail. Each wrapper calls the platform function of the same name; in a test build
// (ORV_FAULT_INJECTION) it first asks the fault table whether this call is to fail, and if
// so returns the operation's failure value with a plausible last error, without calling the
// platform. Production builds compile each wrapper down to the plain call.
#include <windows.h>
#include <shlobj.h>
#include <winsvc.h>
#include "fault.h"

namespace sys {

#define ORV_SYS(ret, name, fail, err, params, args)   \
  inline ret name params {                             \
    if (ORV_FAULT(#name)) {                            \
      ::SetLastError(err);                             \
      return fail;                                     \
    }                                                  \
    return ::name args;                                \
  }

// Resources of the running executable.
ORV_SYS(HRSRC, FindResourceA, NULL, ERROR_RESOURCE_NAME_NOT_FOUND, (HMODULE m, LPCSTR n, LPCSTR t), (m, n, t))
ORV_SYS(HGLOBAL, LoadResource, NULL, ERROR_NOT_ENOUGH_MEMORY, (HMODULE m, HRSRC r), (m, r))
ORV_SYS(LPVOID, LockResource, NULL, ERROR_NOT_ENOUGH_MEMORY, (HGLOBAL h), (h))
ORV_SYS(DWORD, SizeofResource, 0, ERROR_INVALID_DATA, (HMODULE m, HRSRC r), (m, r))

// Files and directories.
ORV_SYS(HANDLE, CreateFileA, INVALID_HANDLE_VALUE, ERROR_ACCESS_DENIED,
        (LPCSTR p, DWORD a, DWORD s, LPSECURITY_ATTRIBUTES sa, DWORD d, DWORD f, HANDLE t),
        (p, a, s, sa, d, f, t))
ORV_SYS(BOOL, WriteFile, FALSE, ERROR_DISK_FULL, (HANDLE h, LPCVOID b, DWORD n, LPDWORD w, LPOVERLAPPED o),
        (h, b, n, w, o))
ORV_SYS(BOOL, ReadFile, FALSE, ERROR_READ_FAULT, (HANDLE h, LPVOID b, DWORD n, LPDWORD r, LPOVERLAPPED o),
        (h, b, n, r, o))
ORV_SYS(DWORD, GetFileSize, INVALID_FILE_SIZE, ERROR_ACCESS_DENIED, (HANDLE h, LPDWORD high), (h, high))
ORV_SYS(BOOL, DeleteFileA, FALSE, ERROR_ACCESS_DENIED, (LPCSTR p), (p))
ORV_SYS(DWORD, GetFileAttributesA, INVALID_FILE_ATTRIBUTES, ERROR_ACCESS_DENIED, (LPCSTR p), (p))
ORV_SYS(BOOL, SetFileAttributesA, FALSE, ERROR_ACCESS_DENIED, (LPCSTR p, DWORD a), (p, a))
ORV_SYS(BOOL, RemoveDirectoryA, FALSE, ERROR_ACCESS_DENIED, (LPCSTR p), (p))
ORV_SYS(BOOL, GetFileTime, FALSE, ERROR_ACCESS_DENIED, (HANDLE h, LPFILETIME c, LPFILETIME a, LPFILETIME w),
        (h, c, a, w))
ORV_SYS(BOOL, SetFileTime, FALSE, ERROR_ACCESS_DENIED,
        (HANDLE h, const FILETIME* c, const FILETIME* a, const FILETIME* w), (h, c, a, w))
ORV_SYS(BOOL, CopyFileA, FALSE, ERROR_ACCESS_DENIED, (LPCSTR from, LPCSTR to, BOOL failIfExists),
        (from, to, failIfExists))
ORV_SYS(BOOL, MoveFileExA, FALSE, ERROR_ACCESS_DENIED, (LPCSTR from, LPCSTR to, DWORD flags), (from, to, flags))
ORV_SYS(BOOL, MoveFileA, FALSE, ERROR_ACCESS_DENIED, (LPCSTR from, LPCSTR to), (from, to))
ORV_SYS(HANDLE, FindFirstFileA, INVALID_HANDLE_VALUE, ERROR_PATH_NOT_FOUND, (LPCSTR p, LPWIN32_FIND_DATAA d),
        (p, d))
ORV_SYS(BOOL, FindNextFileA, FALSE, ERROR_NO_MORE_FILES, (HANDLE h, LPWIN32_FIND_DATAA d), (h, d))
ORV_SYS(UINT, GetWindowsDirectoryA, 0, ERROR_PATH_NOT_FOUND, (LPSTR b, UINT n), (b, n))
ORV_SYS(UINT, GetSystemDirectoryA, 0, ERROR_PATH_NOT_FOUND, (LPSTR b, UINT n), (b, n))
ORV_SYS(DWORD, GetTempPathA, 0, ERROR_PATH_NOT_FOUND, (DWORD n, LPSTR b), (n, b))
ORV_SYS(UINT, GetTempFileNameA, 0, ERROR_ACCESS_DENIED, (LPCSTR d, LPCSTR pre, UINT u, LPSTR b), (d, pre, u, b))

// Memory, threads, system.
ORV_SYS(LPVOID, HeapAlloc, NULL, ERROR_NOT_ENOUGH_MEMORY, (HANDLE h, DWORD f, SIZE_T n), (h, f, n))
ORV_SYS(HANDLE, CreateThread, NULL, ERROR_NOT_ENOUGH_MEMORY,
        (LPSECURITY_ATTRIBUTES sa, SIZE_T st, LPTHREAD_START_ROUTINE f, LPVOID p, DWORD fl, LPDWORD id),
        (sa, st, f, p, fl, id))
ORV_SYS(BOOL, GetVersionExA, FALSE, ERROR_INVALID_PARAMETER, (LPOSVERSIONINFOA v), (v))

// Windows, dialogs, message boxes.
ORV_SYS(ATOM, RegisterClassExA, 0, ERROR_CLASS_ALREADY_EXISTS, (const WNDCLASSEXA* c), (c))
ORV_SYS(HWND, CreateWindowExA, NULL, ERROR_NOT_ENOUGH_MEMORY,
        (DWORD ex, LPCSTR c, LPCSTR t, DWORD s, int x, int y, int w, int h, HWND p, HMENU m, HINSTANCE i, LPVOID a),
        (ex, c, t, s, x, y, w, h, p, m, i, a))
ORV_SYS(INT_PTR, DialogBoxParamA, -1, ERROR_RESOURCE_NAME_NOT_FOUND,
        (HINSTANCE i, LPCSTR t, HWND o, DLGPROC f, LPARAM p), (i, t, o, f, p))
ORV_SYS(int, MessageBoxA, 0, ERROR_NOT_ENOUGH_MEMORY, (HWND o, LPCSTR t, LPCSTR c, UINT f), (o, t, c, f))

// Texts.
ORV_SYS(DWORD, FormatMessageA, 0, ERROR_MR_MID_NOT_FOUND,
        (DWORD f, LPCVOID s, DWORD id, DWORD lang, LPSTR b, DWORD n, va_list* a), (f, s, id, lang, b, n, a))
ORV_SYS(int, MultiByteToWideChar, 0, ERROR_INSUFFICIENT_BUFFER,
        (UINT cp, DWORD f, LPCSTR s, int n, LPWSTR w, int wn), (cp, f, s, n, w, wn))

// Drawing: the device contexts and the pen of the background display.
ORV_SYS(HDC, GetDC, NULL, ERROR_INVALID_WINDOW_HANDLE, (HWND w), (w))
ORV_SYS(HDC, BeginPaint, NULL, ERROR_INVALID_WINDOW_HANDLE, (HWND w, LPPAINTSTRUCT ps), (w, ps))
ORV_SYS(HPEN, CreatePen, NULL, ERROR_NOT_ENOUGH_MEMORY, (int style, int width, COLORREF c), (style, width, c))

// Registry.
ORV_SYS(LONG, RegOpenKeyExA, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED,
        (HKEY k, LPCSTR s, DWORD o, REGSAM r, PHKEY out), (k, s, o, r, out))
ORV_SYS(LONG, RegQueryValueExA, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED,
        (HKEY k, LPCSTR v, LPDWORD res, LPDWORD t, LPBYTE d, LPDWORD n), (k, v, res, t, d, n))
ORV_SYS(LONG, RegCreateKeyExA, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED,
        (HKEY k, LPCSTR s, DWORD res, LPSTR c, DWORD o, REGSAM r, LPSECURITY_ATTRIBUTES sa, PHKEY out, LPDWORD disp),
        (k, s, res, c, o, r, sa, out, disp))
ORV_SYS(LONG, RegSetValueExA, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED,
        (HKEY k, LPCSTR v, DWORD res, DWORD t, const BYTE* d, DWORD n), (k, v, res, t, d, n))
ORV_SYS(LONG, RegDeleteKeyA, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED, (HKEY k, LPCSTR s), (k, s))

// Service control manager.
ORV_SYS(SC_HANDLE, OpenSCManagerA, NULL, ERROR_ACCESS_DENIED, (LPCSTR m, LPCSTR d, DWORD a), (m, d, a))
ORV_SYS(SC_HANDLE, OpenServiceA, NULL, ERROR_SERVICE_DOES_NOT_EXIST, (SC_HANDLE m, LPCSTR n, DWORD a), (m, n, a))
ORV_SYS(SC_HANDLE, CreateServiceA, NULL, ERROR_ACCESS_DENIED,
        (SC_HANDLE m, LPCSTR n, LPCSTR dn, DWORD a, DWORD t, DWORD st, DWORD ec, LPCSTR path, LPCSTR grp,
         LPDWORD tag, LPCSTR deps, LPCSTR acct, LPCSTR pw),
        (m, n, dn, a, t, st, ec, path, grp, tag, deps, acct, pw))
ORV_SYS(BOOL, ControlService, FALSE, ERROR_ACCESS_DENIED, (SC_HANDLE s, DWORD c, LPSERVICE_STATUS st), (s, c, st))
ORV_SYS(BOOL, StartServiceA, FALSE, ERROR_ACCESS_DENIED, (SC_HANDLE s, DWORD n, LPCSTR* a), (s, n, a))
ORV_SYS(BOOL, DeleteService, FALSE, ERROR_ACCESS_DENIED, (SC_HANDLE s), (s))

// Shell and COM.
ORV_SYS(HRESULT, SHGetSpecialFolderLocation, E_FAIL, ERROR_PATH_NOT_FOUND, (HWND o, int f, LPITEMIDLIST* l),
        (o, f, l))
ORV_SYS(BOOL, SHGetPathFromIDListA, FALSE, ERROR_PATH_NOT_FOUND, (LPCITEMIDLIST l, LPSTR p), (l, p))
ORV_SYS(HINSTANCE, ShellExecuteA, (HINSTANCE)SE_ERR_FNF, ERROR_FILE_NOT_FOUND,
        (HWND o, LPCSTR v, LPCSTR f, LPCSTR p, LPCSTR d, INT s), (o, v, f, p, d, s))
ORV_SYS(HRESULT, CoInitialize, E_OUTOFMEMORY, ERROR_NOT_ENOUGH_MEMORY, (LPVOID r), (r))
ORV_SYS(HRESULT, CoCreateInstance, E_OUTOFMEMORY, ERROR_NOT_ENOUGH_MEMORY,
        (REFCLSID c, LPUNKNOWN o, DWORD ctx, REFIID i, LPVOID* out), (c, o, ctx, i, out))

// Loading DLLs at run time (common/win/dll_guard.cpp, common/win/version_dll.cpp).
ORV_SYS(HMODULE, LoadLibraryA, NULL, ERROR_MOD_NOT_FOUND, (LPCSTR n), (n))
ORV_SYS(FARPROC, GetProcAddress, NULL, ERROR_PROC_NOT_FOUND, (HMODULE m, LPCSTR n), (m, n))

#undef ORV_SYS

// Creating a directory. The platform may not keep the descriptor asked for (Wine does not),
// so a test build records it: with ORV_SECURITY_LOG=PATH it appends to PATH one line per
// call, the path, a tab, and the descriptor in hexadecimal ("-" for none), before the call.
#ifdef ORV_FAULT_INJECTION
void LogDescriptor(LPCSTR path, LPSECURITY_ATTRIBUTES sa);
#endif
inline BOOL CreateDirectoryA(LPCSTR p, LPSECURITY_ATTRIBUTES sa) {
#ifdef ORV_FAULT_INJECTION
  LogDescriptor(p, sa);
#endif
  if (ORV_FAULT("CreateDirectoryA")) {
    ::SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  return ::CreateDirectoryA(p, sa);
}

// Version resources. version.dll is no load-time import: a planted copy beside the program
// would run inside it. It is loaded by its full path in the system directory when first
// needed (common/win/version_dll.cpp); without it each call fails as the platform's would.
DWORD GetFileVersionInfoSizeA(LPCSTR path, LPDWORD handle);
BOOL GetFileVersionInfoA(LPCSTR path, DWORD handle, DWORD size, LPVOID data);
BOOL VerQueryValueA(LPCVOID block, LPCSTR subBlock, LPVOID* out, PUINT size);

// The restart request. A test build never restarts the machine: it records the request by
// creating the file that ORV_RESTART_MARK names (when set) and reports success.
#ifdef ORV_FAULT_INJECTION
inline BOOL ExitWindowsEx(UINT flags, DWORD reason) {
  (void)reason;
  char mark[MAX_PATH];
  DWORD n = ::GetEnvironmentVariableA("ORV_RESTART_MARK", mark, sizeof mark);
  if (n && n < sizeof mark) {
    HANDLE h = ::CreateFileA(mark, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (h != INVALID_HANDLE_VALUE) {
      char text[16];
      DWORD w;
      int len = wsprintfA(text, "%u\r\n", flags);
      ::WriteFile(h, text, (DWORD)len, &w, NULL);
      ::CloseHandle(h);
    }
  }
  return TRUE;
}
#else
inline BOOL ExitWindowsEx(UINT flags, DWORD reason) { return ::ExitWindowsEx(flags, reason); }
#endif

}  // namespace sys
