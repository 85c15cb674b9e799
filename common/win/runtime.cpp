// The few C library functions that the shipped programs use, as their own code: the programs
// import no C runtime DLL (the first Windows 95 releases have none, and a copy planted beside
// the program would load before the system's). The heap is the process heap, through
// kernel32. The compiler itself may emit calls of memcpy, memset, memmove and memcmp, so those
// four are there whether the sources call them or not.
//
// Those four stay visible to the linker (the program is one unit compiled with -fwhole-program,
// which would otherwise make them local and leave the compiler's own calls unresolved); the
// others are local, and the compiler drops what a program does not call. None may be turned
// back into a call of itself: the loops are compiled without the pattern recognition that
// makes a copy loop a memcpy call. The link uses no default library, so a call of any other C
// library function is a link error rather than an import.
#include <windows.h>

#define ORV_RUNTIME extern "C" __attribute__((optimize("no-tree-loop-distribute-patterns")))
#define ORV_RUNTIME_EMITTED extern "C" __attribute__((externally_visible, optimize("no-tree-loop-distribute-patterns")))

ORV_RUNTIME void* malloc(size_t n) { return HeapAlloc(GetProcessHeap(), 0, n); }

ORV_RUNTIME void free(void* p) {
  if (p) HeapFree(GetProcessHeap(), 0, p);
}

ORV_RUNTIME void* realloc(void* p, size_t n) {
  if (!p) return malloc(n);
  return HeapReAlloc(GetProcessHeap(), 0, p, n);
}

ORV_RUNTIME_EMITTED void* memcpy(void* to, const void* from, size_t n) {
  char* d = static_cast<char*>(to);
  const char* s = static_cast<const char*>(from);
  while (n--) *d++ = *s++;
  return to;
}

ORV_RUNTIME_EMITTED void* memmove(void* to, const void* from, size_t n) {
  char* d = static_cast<char*>(to);
  const char* s = static_cast<const char*>(from);
  if (d <= s) {
    while (n--) *d++ = *s++;
  } else {
    while (n--) d[n] = s[n];
  }
  return to;
}

ORV_RUNTIME_EMITTED void* memset(void* to, int c, size_t n) {
  unsigned char* d = static_cast<unsigned char*>(to);
  while (n--) *d++ = static_cast<unsigned char>(c);
  return to;
}

ORV_RUNTIME_EMITTED int memcmp(const void* a, const void* b, size_t n) {
  const unsigned char* x = static_cast<const unsigned char*>(a);
  const unsigned char* y = static_cast<const unsigned char*>(b);
  for (; n; n--, x++, y++)
    if (*x != *y) return *x - *y;
  return 0;
}

ORV_RUNTIME size_t strlen(const char* s) {
  const char* e = s;
  while (*e) e++;
  return e - s;
}

ORV_RUNTIME int strcmp(const char* a, const char* b) {
  const unsigned char* x = reinterpret_cast<const unsigned char*>(a);
  const unsigned char* y = reinterpret_cast<const unsigned char*>(b);
  while (*x && *x == *y) x++, y++;
  return *x - *y;
}

// strchr finds the terminator too when c is 0.
ORV_RUNTIME char* strchr(const char* s, int c) {
  for (;; s++) {
    if (*s == static_cast<char>(c)) return const_cast<char*>(s);
    if (!*s) return nullptr;
  }
}

ORV_RUNTIME char* strrchr(const char* s, int c) {
  const char* found = nullptr;
  for (;; s++) {
    if (*s == static_cast<char>(c)) found = s;
    if (!*s) return const_cast<char*>(found);
  }
}

ORV_RUNTIME size_t strspn(const char* s, const char* accept) {
  size_t n = 0;
  while (s[n] && strchr(accept, s[n])) n++;
  return n;
}

ORV_RUNTIME char* strpbrk(const char* s, const char* accept) {
  for (; *s; s++)
    if (strchr(accept, *s)) return const_cast<char*>(s);
  return nullptr;
}
