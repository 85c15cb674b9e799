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
//
//   lzcheck.exe --time STREAM REPORT [RUNS]
//
// A benchmark, not a test: expands STREAM RUNS times (default 5) each way, alternating, and
// writes to REPORT (and to standard output) the median time and speed in MB/s (expanded
// bytes, 10^6 a second) of each: "lzcopy" is LZOpenFileA, LZCopy and LZClose from the stream
// file into an output file, as the platform's expansion goes; "ours" the installer's
// expander from the stream in memory into a buffer, as ExpandPayload goes; "ours+io" the same
// with the stream file read and the output file written, for the comparison on equal terms.
// Then "ratio" ours/lzcopy and ours+io/lzcopy. Exit code 1 when the two expansions differ.
#include <windows.h>
#include <lzexpand.h>

#include "uninstall/logic/command_tail.h"

// The expander itself, compiled into this program exactly as into the installer.
#include "common/format/szdd.cpp"

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
  const char* tail = FindCommandTail(GetCommandLineA());
  return tail ? tail : "";
}


// ---- the benchmark (--time) -----------------------------------------------------------

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
  LARGE_INTEGER f;
  QueryPerformanceFrequency(&f);
  return (double)(to.QuadPart - from.QuadPart) / (double)f.QuadPart;
}

double Now() {
  static LARGE_INTEGER start = {};
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  if (!start.QuadPart) start = t;
  return Seconds(start, t);
}

double Median(double* v, int n) {
  for (int i = 1; i < n; i++)
    for (int j = i; j > 0 && v[j] < v[j - 1]; j--) {
      double t = v[j];
      v[j] = v[j - 1];
      v[j - 1] = t;
    }
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

bool WriteWhole(const char* path, const unsigned char* data, DWORD size) {
  HANDLE f = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (f == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = WriteFile(f, data, size, &written, NULL) && written == size;
  CloseHandle(f);
  return ok;
}

// The stream file expanded by our expander, read and written as files; the output in *out.
bool OursWithFiles(const char* stream, const char* outPath, unsigned char** out, DWORD* outSize) {
  unsigned char* data;
  DWORD size;
  if (!ReadWhole(stream, &data, &size)) return false;
  unsigned length = 0;
  bool ok = SzddReadHeader(data, size, &length) == kSzddOk;
  unsigned char* buffer = ok ? static_cast<unsigned char*>(HeapAlloc(GetProcessHeap(), 0, length + 1)) : nullptr;
  ok = buffer && SzddExpand(data, size, buffer, length, nullptr) == kSzddOk && WriteWhole(outPath, buffer, length);
  HeapFree(GetProcessHeap(), 0, data);
  if (!ok) {
    if (buffer) HeapFree(GetProcessHeap(), 0, buffer);
    return false;
  }
  *out = buffer;
  *outSize = length;
  return true;
}

// Formats a number with three decimals (wsprintf has no floating point).
void Fixed3(char* to, double v) {
  long long m = (long long)(v * 1000 + 0.5);
  wsprintfA(to, "%d.%03d", (int)(m / 1000), (int)(m % 1000));
}

int TimeExpansions(const char* stream, const char* reportPath, int runs) {
  if (runs < 1 || runs > 99) return 2;
  unsigned char* data;
  DWORD size;
  if (!ReadWhole(stream, &data, &size)) return 2;
  unsigned length = 0;
  if (SzddReadHeader(data, size, &length) != kSzddOk || length == 0) return 2;
  unsigned char* ours = nullptr;
  char lzPath[MAX_PATH], ioPath[MAX_PATH];
  lstrcpyA(ioPath, stream);
  lstrcatA(ioPath, ".io");

  double lz[99], mem[99], io[99];
  bool same = true;
  for (int r = 0; r < runs; r++) {
    double t0 = Now();
    LONG got = PlatformExpand(stream, lzPath);
    double t1 = Now();
    if (got != (LONG)length) return 2;
    // A fresh buffer each time, as ExpandPayload takes one: its first touch is part of the cost.
    if (ours) HeapFree(GetProcessHeap(), 0, ours);
    ours = static_cast<unsigned char*>(HeapAlloc(GetProcessHeap(), 0, length + 1));
    if (!ours) return 2;
    size_t produced = 0;
    SzddStatus status = SzddExpand(data, size, ours, length, &produced);
    double t2 = Now();
    unsigned char* withFiles = nullptr;
    DWORD withFilesSize = 0;
    if (!OursWithFiles(stream, ioPath, &withFiles, &withFilesSize)) return 2;
    double t3 = Now();
    lz[r] = t1 - t0;
    mem[r] = t2 - t1;
    io[r] = t3 - t2;
    if (r == 0) {
      unsigned char* expected;
      DWORD expectedSize;
      if (!ReadWhole(lzPath, &expected, &expectedSize)) return 2;
      same = status == kSzddOk && produced == expectedSize && withFilesSize == expectedSize &&
             memcmp(ours, expected, expectedSize) == 0 && memcmp(withFiles, expected, expectedSize) == 0;
      HeapFree(GetProcessHeap(), 0, expected);
    }
    HeapFree(GetProcessHeap(), 0, withFiles);
  }
  DeleteFileA(lzPath);
  DeleteFileA(ioPath);

  double tl = Median(lz, runs), tm = Median(mem, runs), ti = Median(io, runs);
  double mb = length / 1e6;
  char a[32], b[32], c[32], d[32], e[32], f[32], x[32], y[32];
  Fixed3(a, tl);
  Fixed3(b, mb / tl);
  Fixed3(c, tm);
  Fixed3(d, mb / tm);
  Fixed3(e, ti);
  Fixed3(f, mb / ti);
  Fixed3(x, tl / tm);
  Fixed3(y, tl / ti);
  char text[1024];
  int n = wsprintfA(text,
                    "stream\t%s\r\ncompressed\t%lu\r\nexpanded\t%u\r\nruns\t%d\r\n"
                    "lzcopy\t%s s\t%s MB/s\r\nours\t%s s\t%s MB/s\r\nours+io\t%s s\t%s MB/s\r\n"
                    "ratio\t%s\r\nratio+io\t%s\r\nbytes\t%s\r\n",
                    stream, (unsigned long)size, length, runs, a, b, c, d, e, f, x, y, same ? "same" : "differ");
  HANDLE report = CreateFileA(reportPath, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (report == INVALID_HANDLE_VALUE) return 2;
  DWORD written;
  WriteFile(report, text, (DWORD)n, &written, NULL);
  CloseHandle(report);
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  if (out && out != INVALID_HANDLE_VALUE) WriteFile(out, text, (DWORD)n, &written, NULL);
  HeapFree(GetProcessHeap(), 0, data);
  HeapFree(GetProcessHeap(), 0, ours);
  return same ? 0 : 1;
}

// The command tail's next word: quoted (quotes dropped) or up to a blank. False at its end.
bool NextWord(const char*& p, char* word, int room) {
  while (*p == ' ' || *p == '\t') p++;
  if (!*p) return false;
  int n = 0;
  bool quoted = false;
  for (; *p && (quoted || (*p != ' ' && *p != '\t')); p++) {
    if (*p == '"') quoted = !quoted;
    else if (n < room - 1) word[n++] = *p;
    else return false;
  }
  word[n] = 0;
  return true;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // The path may come quoted (it holds blanks): the quotes are not part of it.
  char listPath[MAX_PATH];
  const char* tail = Tail();
  if (tail[0] == '-' && tail[1] == '-') {
    char option[16], stream[MAX_PATH], reportPath[MAX_PATH], runs[8] = "5";
    const char* p = tail;
    if (!NextWord(p, option, sizeof option) || lstrcmpA(option, "--time") != 0 ||
        !NextWord(p, stream, MAX_PATH - 8) || !NextWord(p, reportPath, MAX_PATH)) {
      return 2;
    }
    NextWord(p, runs, sizeof runs);
    int count = 0;
    for (const char* c = runs; *c >= '0' && *c <= '9'; c++) count = count * 10 + (*c - '0');
    return TimeExpansions(stream, reportPath, count);
  }
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
