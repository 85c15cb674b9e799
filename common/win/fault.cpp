#ifdef ORV_FAULT_INJECTION
#include <windows.h>
#include "fault.h"
#include "sys.h"
#include "common/file_security.h"

namespace orv {
namespace {

struct Rule {
  char op[40];
  unsigned nth;
  bool onward;
  unsigned calls;
};

Rule rules[16];
unsigned ruleCount;
bool loaded;

// Both threads of the installer come here; one lock keeps the call counts exact.
volatile LONG busy;

// --- Counting (ORV_FAULT_COUNT) -----------------------------------------------------------
// The counts live in a mapped view of the file, so they are complete however the process
// ends (the installer's worker, a roll-back started meanwhile, an ended process).
// The file: one header line of kHeaderBytes (the program's path), then one line of
// kLineBytes per operation in the order of first use: the name padded with blanks, a blank,
// the count in kDigits digits, CR LF. The rest of the file is zero bytes.
const unsigned kHeaderBytes = 272;
const unsigned kNameBytes = 40;
const unsigned kDigits = 10;
const unsigned kLineBytes = kNameBytes + 1 + kDigits + 2;
const unsigned kMaxOps = 120;
const unsigned kCountFileBytes = kHeaderBytes + kMaxOps * kLineBytes;

char* countView;
unsigned countedOps;
unsigned counts[kMaxOps];

void Fill(char* p, char c, unsigned n) {
  for (unsigned i = 0; i < n; i++) p[i] = c;
}

void OpenCountFile() {
  char path[MAX_PATH];
  DWORD n = GetEnvironmentVariableA("ORV_FAULT_COUNT", path, sizeof path);
  if (n == 0 || n + 12 >= sizeof path) return;
  wsprintfA(path + n, ".%lu", GetCurrentProcessId());
  HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) return;
  HANDLE mapping = CreateFileMappingA(file, NULL, PAGE_READWRITE, 0, kCountFileBytes, NULL);
  CloseHandle(file);
  if (!mapping) return;
  countView = static_cast<char*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, kCountFileBytes));
  CloseHandle(mapping);
  if (!countView) return;
  Fill(countView, ' ', kHeaderBytes - 2);
  char module[MAX_PATH];
  DWORD m = GetModuleFileNameA(NULL, module, sizeof module);
  if (m > kHeaderBytes - 2) m = kHeaderBytes - 2;
  for (DWORD i = 0; i < m; i++) countView[i] = module[i];
  countView[kHeaderBytes - 2] = '\r';
  countView[kHeaderBytes - 1] = '\n';
}

void Count(const char* operation) {
  unsigned i = 0;
  char* line = countView + kHeaderBytes;
  for (; i < countedOps; i++, line += kLineBytes) {
    unsigned k = 0;
    while (k < kNameBytes && operation[k] && line[k] == operation[k]) k++;
    if (!operation[k] && (k == kNameBytes || line[k] == ' ')) break;
  }
  if (i == countedOps) {
    if (countedOps == kMaxOps) return;
    countedOps++;
    Fill(line, ' ', kNameBytes + 1);
    for (unsigned k = 0; k < kNameBytes && operation[k]; k++) line[k] = operation[k];
    line[kLineBytes - 2] = '\r';
    line[kLineBytes - 1] = '\n';
  }
  unsigned value = ++counts[i];
  for (unsigned d = 0; d < kDigits; d++) {
    line[kNameBytes + kDigits - d] = static_cast<char>('0' + value % 10);
    value /= 10;
  }
}

void Load() {
  loaded = true;
  OpenCountFile();
  char spec[1024];
  DWORD n = GetEnvironmentVariableA("ORV_FAULT", spec, sizeof spec);
  if (n == 0 || n >= sizeof spec) return;
  // ORV_FAULT_LOCAL: the rules are this program's alone; the programs it starts (the
  // roll-back's uninstaller) run without them.
  if (GetEnvironmentVariableA("ORV_FAULT_LOCAL", NULL, 0)) SetEnvironmentVariableA("ORV_FAULT", NULL);
  char* p = spec;
  while (*p && ruleCount < 16) {
    Rule& r = rules[ruleCount];
    unsigned len = 0;
    while (*p && *p != ':' && *p != ',' && len + 1 < sizeof r.op) r.op[len++] = *p++;
    r.op[len] = 0;
    while (*p && *p != ':' && *p != ',') p++;
    r.nth = 0;
    if (*p == ':') {
      p++;
      while (*p >= '0' && *p <= '9') r.nth = r.nth * 10 + (*p++ - '0');
      if (*p == '+') { r.onward = true; p++; }
    }
    while (*p && *p != ',') p++;
    if (*p == ',') p++;
    if (len && r.nth) ruleCount++;
  }
}

}  // namespace

bool FaultHit(const char* operation) {
  while (InterlockedExchange(&busy, 1)) Sleep(0);
  if (!loaded) Load();
  if (countView) Count(operation);
  bool hit = false;
  for (unsigned i = 0; i < ruleCount; i++) {
    Rule& r = rules[i];
    if (lstrcmpA(r.op, operation) != 0) continue;
    r.calls++;
    if (r.calls == r.nth || (r.onward && r.calls > r.nth)) hit = true;
  }
  InterlockedExchange(&busy, 0);
  return hit;
}

}  // namespace orv
namespace sys {

void LogDescriptor(LPCSTR path, LPSECURITY_ATTRIBUTES sa) {
  char log[MAX_PATH];
  DWORD n = GetEnvironmentVariableA("ORV_SECURITY_LOG", log, sizeof log);
  if (n == 0 || n >= sizeof log) return;
  char line[MAX_PATH + 8 + 2 * 512];
  int at = wsprintfA(line, "%s\t", path);
  const BYTE* sd = sa ? static_cast<const BYTE*>(sa->lpSecurityDescriptor) : NULL;
  size_t length = sd ? SelfRelativeLength(sd, 512) : 0;
  if (!length) line[at++] = '-';
  for (size_t i = 0; i < length; i++) at += wsprintfA(line + at, "%02x", sd[i]);
  line[at++] = '\r';
  line[at++] = '\n';
  HANDLE file = CreateFileA(log, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) return;
  SetFilePointer(file, 0, NULL, FILE_END);
  DWORD written;
  WriteFile(file, line, (DWORD)at, &written, NULL);
  CloseHandle(file);
}

}  // namespace sys
#endif
