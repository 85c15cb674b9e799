// ReadFileVersion: the FileVersion string of a file's version resource, as four numbers.
#include "install/state.h"
#include "common/format/version.h"
#include "common/win/sys.h"

namespace {

// Looks up one string table's FileVersion and copies it, bounded, into text.
bool QueryFileVersion(const void* block, const char* key, char* text, unsigned size) {
  void* value = nullptr;
  UINT chars = 0;
  if (!sys::VerQueryValueA(block, key, &value, &chars) || !value) return false;
  // chars counts the terminator when there is one; never read past what was given.
  const char* s = static_cast<const char*>(value);
  unsigned n = 0;
  while (n < chars && n + 1 < size && s[n]) {
    text[n] = s[n];
    n++;
  }
  text[n] = 0;
  return true;
}

}  // namespace

bool ReadFileVersion(const char* path, unsigned version[4]) {
  version[0] = 0;
  DWORD ignored = 0;
  DWORD size = sys::GetFileVersionInfoSizeA(path, &ignored);
  if (size == 0) return false;
  void* block = sys::HeapAlloc(GetProcessHeap(), 0, size);
  if (!block) return false;
  bool found = false;
  char text[64];
  if (sys::GetFileVersionInfoA(path, 0, size, block)) {
    found = QueryFileVersion(block, "\\StringFileInfo\\080904B0\\FileVersion", text, sizeof text) ||
            QueryFileVersion(block, "\\StringFileInfo\\040904B0\\FileVersion", text, sizeof text);
  }
  HeapFree(GetProcessHeap(), 0, block);
  if (!found) return false;
  // A string with fewer than four fields counts its missing numbers as 0.
  ParseVersionText(text, version);
  return true;
}
