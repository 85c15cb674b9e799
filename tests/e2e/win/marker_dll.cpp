// A DLL that leaves a trace when a process loads it: "<its own path>.<process id>.loaded",
// holding the path of the process's program. The tests copy it under the names of system
// DLLs beside a program to see whether the program ever loads a DLL from its own folder.
// It exports the version functions that older builds of the installer imported, and the
// wide ones that Wine's user32 imports, so that such programs still start with it (each
// fails).
#include <windows.h>

extern "C" {

__declspec(dllexport) DWORD WINAPI GetFileVersionInfoSizeA(LPCSTR, LPDWORD) {
  SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
  return 0;
}

__declspec(dllexport) BOOL WINAPI GetFileVersionInfoA(LPCSTR, DWORD, DWORD, LPVOID) {
  SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
  return FALSE;
}

__declspec(dllexport) BOOL WINAPI VerQueryValueA(LPCVOID, LPCSTR, LPVOID*, PUINT) {
  SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
  return FALSE;
}

__declspec(dllexport) DWORD WINAPI GetFileVersionInfoSizeW(LPCWSTR, LPDWORD) {
  SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
  return 0;
}

__declspec(dllexport) BOOL WINAPI GetFileVersionInfoW(LPCWSTR, DWORD, DWORD, LPVOID) {
  SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
  return FALSE;
}

__declspec(dllexport) BOOL WINAPI VerQueryValueW(LPCVOID, LPCWSTR, LPVOID*, PUINT) {
  SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
  return FALSE;
}

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  char path[MAX_PATH + 32];
  DWORD n = GetModuleFileNameA(self, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return TRUE;
  wsprintfA(path + n, ".%lu.loaded", GetCurrentProcessId());
  char program[MAX_PATH];
  DWORD length = GetModuleFileNameA(NULL, program, sizeof program);
  if (length >= sizeof program) length = 0;
  HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (file != INVALID_HANDLE_VALUE) {
    DWORD written;
    WriteFile(file, program, length, &written, NULL);
    CloseHandle(file);
  }
  return TRUE;
}

}  // extern "C"
