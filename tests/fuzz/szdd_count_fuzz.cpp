// The counted expansion against the real one: the same status and length for any stream
// whose header claims no more than 1 MB.
#include <stddef.h>
#include <stdint.h>

#include <vector>

#include "common/format/szdd.h"
#include "tools/szdd/count.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  uint64_t counted = 0;
  SzddStatus status = SzddCount(data, size, &counted);
  unsigned expanded = 0;
  if (SzddReadHeader(data, size, &expanded) != kSzddOk || expanded > (1u << 20)) return 0;
  std::vector<unsigned char> out(expanded);
  size_t produced = 0;
  SzddStatus want = SzddExpand(data, size, out.data(), out.size(), &produced);
  if (status != want || counted != produced) __builtin_trap();
  return 0;
}
