// Reads every resource of a program the way the installer reads its own: the module loaded,
// then FindResourceA by name and type (no language), LoadResource, SizeofResource.
//
//   rsrcread.exe PROGRAM OUT
//
// The module is mapped as an image without running it (DONT_RESOLVE_DLL_REFERENCES), so that
// the section table, SizeOfImage and the resource directory are taken as the loader takes
// them. OUT gets one line per resource, CR LF:
//   TYPE TAB NAME TAB SIZE TAB CRC32 (8 upper-case hex digits)
// where TYPE and NAME are the string ("FILES", "SCRIPT") or "#" and the number ("#5", "#103").
// The first line is "mode image" (or "mode datafile", see below). Exit code: 0 read, 1 a resource enumerated but not found or
// not loaded (its line then says so), 2 the program could not be loaded or OUT written.
#include <windows.h>

#include "common/format/crc32.cpp"

namespace {

HANDLE g_out = INVALID_HANDLE_VALUE;
int g_status = 0;

void Put(const char* text) {
  DWORD n = 0;
  WriteFile(g_out, text, lstrlenA(text), &n, NULL);
}

void IdText(LPCSTR id, char* text) {
  if (IS_INTRESOURCE(id)) wsprintfA(text, "#%u", (unsigned)(ULONG_PTR)id);
  else lstrcpynA(text, id, 200);
}

BOOL CALLBACK OnName(HMODULE module, LPCSTR type, LPSTR name, LONG_PTR) {
  char t[200], n[200], line[512];
  IdText(type, t);
  IdText(name, n);
  HRSRC found = FindResourceA(module, name, type);
  HGLOBAL loaded = found ? LoadResource(module, found) : NULL;
  const void* bytes = loaded ? LockResource(loaded) : NULL;
  DWORD size = found ? SizeofResource(module, found) : 0;
  if (!found || (!bytes && size)) {
    wsprintfA(line, "%s\t%s\tnot found\r\n", t, n);
    g_status = 1;
  } else {
    wsprintfA(line, "%s\t%s\t%lu\t%08lX\r\n", t, n, (unsigned long)size,
              (unsigned long)Crc32(static_cast<const uint8_t*>(bytes), size));
  }
  Put(line);
  return TRUE;
}

BOOL CALLBACK OnType(HMODULE module, LPSTR type, LONG_PTR) {
  EnumResourceNamesA(module, type, OnName, 0);
  return TRUE;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv || argc != 3) return 2;
  // A 64-bit process cannot map a 32-bit image: it then takes the file as data.
  const char* mode = "mode image\r\n";
  HMODULE module = LoadLibraryExW(argv[1], NULL, DONT_RESOLVE_DLL_REFERENCES);
  if (!module) {
    module = LoadLibraryExW(argv[1], NULL, LOAD_LIBRARY_AS_DATAFILE);
    mode = "mode datafile\r\n";
  }
  if (!module) return 2;
  g_out = CreateFileW(argv[2], GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
  if (g_out == INVALID_HANDLE_VALUE) return 2;
  Put(mode);
  EnumResourceTypesA(module, OnType, 0);
  // The installer's own look-up, spelled as it spells it.
  HRSRC script = FindResourceA(module, "SCRIPT", "FILES");
  char line[100];
  wsprintfA(line, "lookup SCRIPT FILES %s\r\n", script ? "found" : "missing");
  Put(line);
  CloseHandle(g_out);
  return g_status;
}
