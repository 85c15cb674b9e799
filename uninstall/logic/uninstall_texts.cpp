#include "uninstall/logic/uninstall_texts.h"

#include <string.h>

namespace {

const char kConfirmation[] = "Are you sure that you want to uninstall ";
const char kOpenFailure[] = "Error: could not open the uninstall file:\r\n";
const char kDriversDir[] = "System32\\Drivers\\";
const char kDriverSuffix[] = ".sys";
const char kServicesKey[] = "System\\CurrentControlSet\\Services\\";

const size_t kMaxParts = 5;

size_t JoinLength(const char* const* parts, size_t count) {
  size_t total = 0;
  for (size_t i = 0; i < count; i++) {
    size_t n = strlen(parts[i]);
    if (n > (size_t)-1 - 1 - total) return (size_t)-1;
    total += n;
  }
  return total;
}

bool Join(char* out, size_t capacity, const char* const* parts, size_t count) {
  size_t length = JoinLength(parts, count);
  if (capacity == 0) return false;
  if (length >= capacity) {
    out[0] = 0;
    return false;
  }
  char* p = out;
  for (size_t i = 0; i < count; i++) {
    size_t n = strlen(parts[i]);
    memcpy(p, parts[i], n);
    p += n;
  }
  *p = 0;
  return true;
}

size_t DriverParts(const char* windowsDir, const char* name, const char* parts[kMaxParts]) {
  size_t n = strlen(windowsDir);
  size_t count = 0;
  parts[count++] = windowsDir;
  if (n == 0 || windowsDir[n - 1] != '\\') parts[count++] = "\\";
  parts[count++] = kDriversDir;
  parts[count++] = name;
  parts[count++] = kDriverSuffix;
  return count;
}

}  // namespace

size_t ConfirmationLength(const char* product, const char* version) {
  const char* parts[] = {kConfirmation, product, " ", version, "?"};
  return JoinLength(parts, 5);
}

bool BuildConfirmation(char* out, size_t capacity, const char* product, const char* version) {
  const char* parts[] = {kConfirmation, product, " ", version, "?"};
  return Join(out, capacity, parts, 5);
}

size_t OpenFailureLength(const char* path) {
  const char* parts[] = {kOpenFailure, path};
  return JoinLength(parts, 2);
}

bool BuildOpenFailure(char* out, size_t capacity, const char* path) {
  const char* parts[] = {kOpenFailure, path};
  return Join(out, capacity, parts, 2);
}

size_t DriverFilePathLength(const char* windowsDir, const char* name) {
  const char* parts[kMaxParts];
  return JoinLength(parts, DriverParts(windowsDir, name, parts));
}

bool BuildDriverFilePath(char* out, size_t capacity, const char* windowsDir, const char* name) {
  const char* parts[kMaxParts];
  return Join(out, capacity, parts, DriverParts(windowsDir, name, parts));
}

size_t ServiceKeyPathLength(const char* name) {
  const char* parts[] = {kServicesKey, name};
  return JoinLength(parts, 2);
}

bool BuildServiceKeyPath(char* out, size_t capacity, const char* name) {
  const char* parts[] = {kServicesKey, name};
  return Join(out, capacity, parts, 2);
}

const char* ClosingMessage(bool partial, bool restart) {
  static const char* const kMessages[2][2] = {
      {"Uninstallation complete.",
       "Uninstallation complete.\r\n\r\nYou need to restart your computer to complete the uninstallation"},
      {"Partial uninstallation complete.",
       "Partial uninstallation complete.\r\n\r\nYou need to restart your computer to complete the "
       "uninstallation"},
  };
  return kMessages[partial ? 1 : 0][restart ? 1 : 0];
}

bool ScriptAllocationSize(size_t fileSize, size_t* total) {
  size_t max = (size_t)-1;
  if (fileSize > max - 1) return false;
  size_t text = fileSize + 1;
  if (fileSize > max - text || kTextSlack > max - text - fileSize) return false;
  *total = text + fileSize + kTextSlack;
  return true;
}
