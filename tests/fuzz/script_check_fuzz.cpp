// The install script and licence checks on any text, against a small payload.
#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "tools/script_check/script_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::vector<PackEntry> payload = {
      {"readme.txt", 10, false, {0, 0, 0, 0}, 0},
      {"bin\\tool.exe", 7680, true, {1, 0, 0, 3}, 0},
      {"drivers\\orv.sys", 4096, true, {1, 2, 3, 4}, 0},
  };
  std::string raw(reinterpret_cast<const char*>(data), size), normalised;
  Diagnostics diags;
  CheckScript(raw, payload, "SCRIPT", &normalised, &diags);
  Diagnostics licence;
  CheckLicence(raw, "LICENCE", &normalised, &licence);
  return 0;
}
