#include "tools/orv/image_stream.h"

#include <errno.h>
#include <string.h>

#include <memory>

#include "common/format/crc32.h"
#include "tools/pe/pe_image.h"

namespace {

// Reads exactly `size` bytes of path in chunks, handing each to take.
template <typename Take>
bool ReadChunks(const std::string& path, uint64_t size, std::string* error, Take take) {
  FILE* in = fopen(path.c_str(), "rb");
  if (!in) {
    *error = path + ": cannot be read: " + strerror(errno);
    return false;
  }
  std::unique_ptr<uint8_t[]> buffer(new uint8_t[kImageCopyChunk]);
  uint64_t left = size;
  bool ok = true;
  while (ok && left) {
    size_t want = left < kImageCopyChunk ? (size_t)left : kImageCopyChunk;
    size_t got = fread(buffer.get(), 1, want, in);
    if (got != want) {
      *error = path + (ferror(in) ? ": cannot be read" : ": shorter than expected");
      ok = false;
    } else if (!take(buffer.get(), got)) {
      ok = false;
    }
    left -= got;
  }
  fclose(in);
  return ok;
}

}  // namespace

bool WriteImagePieces(const std::vector<ImagePiece>& pieces, size_t checksumOffset, FILE* f, uint64_t* written,
                      std::string* error) {
  PeChecksumSum sum(checksumOffset);
  *written = 0;
  if (pieces.empty() || pieces[0].resource || pieces[0].bytes.size() < 4 ||
      checksumOffset > pieces[0].bytes.size() - 4) {
    *error = "the image's checksum field lies outside its headers";
    return false;
  }
  auto put = [&](const uint8_t* data, size_t size) {
    if (size && fwrite(data, 1, size, f) != size) {
      *error = std::string("cannot be written: ") + strerror(errno);
      return false;
    }
    sum.Add(data, size);
    *written += size;
    return true;
  };
  for (const ImagePiece& p : pieces) {
    if (!p.resource) {
      if (!put(p.bytes.data(), p.bytes.size())) return false;
    } else if (!ReadChunks(p.resource->file, p.resource->fileSize, error, put)) {
      return false;
    }
  }
  uint8_t field[4];
  PutU32(field, sum.Finish());
  // Back to the field (near the start, so a long offset reaches it on every platform); the
  // file is complete after it and nothing more is written.
  if (fseek(f, (long)checksumOffset, SEEK_SET) != 0 || fwrite(field, 1, 4, f) != 4) {
    *error = std::string("cannot be written: ") + strerror(errno);
    return false;
  }
  return true;
}

bool FileCrc32(const std::string& path, uint64_t size, uint32_t crc, uint32_t* out, std::string* error) {
  bool ok = ReadChunks(path, size, error, [&](const uint8_t* data, size_t n) {
    crc = Crc32(data, n, crc);
    return true;
  });
  *out = crc;
  return ok;
}
