// The packer's DATA writer (host only): the plan's files read one after another, in pieces,
// and the payload stream written as it is made.
#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <functional>

#include "tools/host/files.h"
#include "tools/payload/pack.h"
#include "tools/szdd/compress.h"
#include "tools/szdd/compress_stream.h"

namespace {

const size_t kReadChunk = 1u << 20;

// Reads the plan's files one after another, each in pieces, handing every piece to take.
bool ReadPayload(const PackPlan& plan, const PackOptions& options,
                 const std::function<bool(const uint8_t*, size_t)>& take, std::string* error) {
  std::vector<uint8_t> buf(kReadChunk);
  uint64_t done = 0, lastReport = 0;
  for (size_t i = 0; i < plan.entries.size(); i++) {
    const std::string& name = plan.entries[i].name;
    FILE* f = fopen(plan.hostPaths[i].c_str(), "rb");
    if (!f) {
      *error = plan.hostPaths[i] + ": cannot be read: " + strerror(errno);
      return false;
    }
    uint64_t got = 0;
    size_t n;
    bool ok = true;
    while (ok && (n = fread(buf.data(), 1, buf.size(), f)) > 0) {
      if (n > plan.entries[i].size - got) {
        *error = name + ": changed while it was being packed";
        ok = false;
        break;
      }
      got += n;
      done += n;
      if (!take(buf.data(), n)) {
        *error = name + ": the payload stream cannot be written";
        ok = false;
      }
      if (ok && options.progress && done - lastReport >= (16u << 20)) {
        options.progress(options.progressContext, i, done);
        lastReport = done;
      }
    }
    if (ok && ferror(f)) {
      *error = plan.hostPaths[i] + ": cannot be read: " + strerror(errno);
      ok = false;
    }
    fclose(f);
    if (!ok) return false;
    if (got != plan.entries[i].size) {
      *error = name + ": changed while it was being packed";
      return false;
    }
    if (options.progress) options.progress(options.progressContext, i + 1, done);
  }
  return true;
}

// The DATA stream of a plan, handed to sink in order as it is made.
bool StreamPackData(const PackPlan& plan, const PackOptions& options,
                    const std::function<bool(const uint8_t*, size_t)>& sink, std::string* error) {
  if (options.best) {
    // The exact optimum needs the whole payload at once.
    std::vector<uint8_t> payload;
    payload.reserve(plan.dataSize);
    if (!ReadPayload(plan, options, [&](const uint8_t* d, size_t n) { payload.insert(payload.end(), d, d + n); return true; },
                     error))
      return false;
    std::vector<uint8_t> data = SzddCompress(payload.data(), payload.size());
    if (!sink(data.data(), data.size())) {
      *error = "the payload stream cannot be written";
      return false;
    }
    return true;
  }
  SzddStreamOptions so;
  so.threads = options.threads;
  if (options.blockSize) so.blockSize = options.blockSize;
  SzddStreamCompressor c((uint32_t)plan.dataSize, so, sink);
  if (!ReadPayload(plan, options, [&](const uint8_t* d, size_t n) { return c.Write(d, n); }, error)) return false;
  if (!c.Finish()) {
    *error = "the payload stream cannot be written";
    return false;
  }
  return true;
}

}  // namespace

bool WritePackData(const PackPlan& plan, const PackOptions& options, const std::string& path, std::string* error) {
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) {
    *error = path + ": cannot be created: " + strerror(errno);
    return false;
  }
  int writeErrno = 0;
  auto sink = [&](const uint8_t* d, size_t n) {
    if (fwrite(d, 1, n, f) == n) return true;
    writeErrno = errno;
    return false;
  };
  bool ok = StreamPackData(plan, options, sink, error);
  if (!ok && writeErrno) *error = path + ": cannot be written: " + strerror(writeErrno);
  bool closed = FlushToDisk(f);
  closed = fclose(f) == 0 && closed;
  if (ok && !closed) {
    *error = path + ": cannot be written: " + strerror(errno);
    ok = false;
  }
  if (!ok) unlink(path.c_str());
  return ok;
}

bool CountPackData(const PackPlan& plan, const PackOptions& options, uint64_t* size, std::string* error) {
  *size = 0;
  return StreamPackData(plan, options, [size](const uint8_t*, size_t n) {
    *size += n;
    return true;
  }, error);
}
