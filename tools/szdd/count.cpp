#include "tools/szdd/count.h"

#include <vector>

#include "common/format/szdd_stream.h"

SzddStatus SzddCount(const unsigned char* data, size_t size, uint64_t* produced) {
  *produced = 0;
  unsigned expanded = 0;
  // Only a stream with the SZDD header: data without it are no stream to count.
  SzddStatus status = SzddReadHeader(data, size, &expanded);
  if (status != kSzddOk) return status;
  std::vector<unsigned char> buffer(SzddStreamBufferSize(64 * 1024));
  SzddStream stream;
  status = SzddStreamBegin(&stream, data, size, buffer.data(), buffer.size(), &expanded);
  if (status == kSzddOk) status = SzddStreamSkip(&stream, expanded);
  if (status == kSzddOk) status = SzddStreamFinish(&stream);
  *produced = stream.produced;
  return status;
}
