// orv inspect's whole report on any bytes, as if they were the installer's file.
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#include "tools/orv/inspect.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static FILE* sink = fopen("/dev/null", "w");
  Diagnostics diags;
  InspectInstaller(data, size, "setup.exe", sink, &diags);
  return 0;
}
