// Compares the installer's SZDD expander with the platform's LZCopy on the same streams.
//
//   lzcheck.exe LIST
//
// LIST names one stream file per line (CR LF). For each, the platform expands it with
// LZOpenFileA/LZCopy into "<stream>.lz", and the installer's expander expands it in memory
// (a file without the SZDD header taken as it stands, as ExpandPayload does). The report,
// "<LIST>.out", has one line per stream:
//   <stream> TAB lzcopy=<bytes or negative error> TAB ours=<status>,<bytes> TAB same|differ
// Exit code: 0 when every stream gave the same bytes both ways, 1 otherwise, 2 on a setup
// failure.
#include <windows.h>
#include <lzexpand.h>

// The expander itself, compiled into this program exactly as into the installer.
#include "install/logic/szdd.cpp"

namespace {

bool ReadWhole(const char* path, unsigned char** data, DWORD* size) {
  *data = nullptr;
  *size = 0;
  HANDLE f = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
  if (f == INVALID_HANDLE_VALUE) return false;
  DWORD n = GetFileSize(f, NULL);
  unsigned char* buf = static_cast<unsigned char*>(HeapAlloc(GetProcessHeap(), 0, n + 1));
  DWORD got = 0;
  bool ok = buf && n != INVALID_FILE_SIZE && ReadFile(f, buf, n, &got, NULL) && got == n;
  CloseHandle(f);
  if (!ok) {
    if (buf) HeapFree(GetProcessHeap(), 0, buf);
    return false;
  }
  *data = buf;
  *size = n;
  return true;
}

// The platform's expansion into "<path>.lz": the byte count LZCopy reports (negative: error).
LONG PlatformExpand(const char* path, char* outPath) {
  lstrcpyA(outPath, path);
  lstrcatA(outPath, ".lz");
  OFSTRUCT so, dso;
  INT src = LZOpenFileA(const_cast<char*>(path), &so, OF_READ);
  if (src < 0) return src;
  INT dst = LZOpenFileA(outPath, &dso, OF_CREATE | OF_WRITE);
  if (dst < 0) {
    LZClose(src);
    return dst;
  }
  LONG n = LZCopy(src, dst);
  LZClose(src);
  LZClose(dst);
  return n;
}

// The command tail: the program name skipped, quoted or not.
const char* Tail() {
  const char* p = GetCommandLineA();
  if (*p == '"') {
    p++;
    while (*p && *p != '"') p++;
    if (*p) p++;
  } else {
    while (*p && *p != ' ' && *p != '\t') p++;
  }
  while (*p == ' ' || *p == '\t') p++;
  return p;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // The path may come quoted (it holds blanks): the quotes are not part of it.
  char listPath[MAX_PATH];
  const char* tail = Tail();
  int n = 0;
  for (; *tail && n < MAX_PATH - 8; tail++) {
    if (*tail != '"') listPath[n++] = *tail;
  }
  listPath[n] = 0;
  if (!n || *tail) return 2;
  unsigned char* list;
  DWORD listSize;
  if (!ReadWhole(listPath, &list, &listSize)) return 2;
  list[listSize] = 0;

  char reportPath[MAX_PATH];
  lstrcpyA(reportPath, listPath);
  lstrcatA(reportPath, ".out");
  HANDLE report = CreateFileA(reportPath, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (report == INVALID_HANDLE_VALUE) return 2;

  int result = 0;
  char* line = reinterpret_cast<char*>(list);
  while (*line) {
    char* end = line;
    while (*end && *end != '\r' && *end != '\n') end++;
    char next = *end;
    *end = 0;
    if (*line && lstrlenA(line) < MAX_PATH - 8) {
      char lzPath[MAX_PATH];
      LONG lzBytes = PlatformExpand(line, lzPath);
      unsigned char* expected = nullptr;
      DWORD expectedSize = 0;
      if (lzBytes >= 0 && !ReadWhole(lzPath, &expected, &expectedSize)) lzBytes = -1000;

      unsigned char* stream;
      DWORD streamSize;
      int status = -1;
      size_t produced = 0;
      unsigned char* ours = nullptr;
      if (ReadWhole(line, &stream, &streamSize)) {
        unsigned length = 0;
        SzddStatus header = SzddReadHeader(stream, streamSize, &length);
        if (header == kSzddNotCompressed) length = streamSize;
        ours = static_cast<unsigned char*>(HeapAlloc(GetProcessHeap(), 0, length + 1));
        if (header == kSzddNotCompressed) {
          CopyMemory(ours, stream, length);
          produced = length;
          status = kSzddOk;
        } else if (header == kSzddOk) {
          status = SzddExpand(stream, streamSize, ours, length, &produced);
        } else {
          status = header;
        }
        HeapFree(GetProcessHeap(), 0, stream);
      }
      bool same = lzBytes >= 0 && status == kSzddOk && produced == expectedSize;
      for (DWORD i = 0; same && i < expectedSize; i++) same = ours[i] == expected[i];
      if (!same) result = 1;
      char text[MAX_PATH + 96];
      int n = wsprintfA(text, "%s\tlzcopy=%ld\tours=%d,%lu\t%s\r\n", line, lzBytes, status, (unsigned long)produced,
                        same ? "same" : "differ");
      DWORD written;
      WriteFile(report, text, (DWORD)n, &written, NULL);
      if (expected) HeapFree(GetProcessHeap(), 0, expected);
      if (ours) HeapFree(GetProcessHeap(), 0, ours);
    }
    line = next ? end + 1 : end;
  }
  CloseHandle(report);
  return result;
}
