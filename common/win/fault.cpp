#ifdef ORV_FAULT_INJECTION
#include <windows.h>
#include "fault.h"

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

void Load() {
  loaded = true;
  char spec[1024];
  DWORD n = GetEnvironmentVariableA("ORV_FAULT", spec, sizeof spec);
  if (n == 0 || n >= sizeof spec) return;
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
  if (!loaded) Load();
  bool hit = false;
  for (unsigned i = 0; i < ruleCount; i++) {
    Rule& r = rules[i];
    if (lstrcmpA(r.op, operation) != 0) continue;
    r.calls++;
    if (r.calls == r.nth || (r.onward && r.calls > r.nth)) hit = true;
  }
  return hit;
}

}  // namespace orv
#endif
