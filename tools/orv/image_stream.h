#pragma once
// Writing a planned PE image (see PlanResourceWrite) to a file without holding it whole:
// held pieces are written as they are, a resource naming a file is copied from it in chunks,
// and the image checksum is summed on the way and put in place at the end.
#include <stdint.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "tools/pe/resource_tree.h"

// The bytes copied at a time from a resource's file.
const size_t kImageCopyChunk = 1 << 20;

// Writes the pieces to f (open for writing, seekable, positioned at its start), then the
// checksum at checksumOffset (f is left positioned just after it). *written: the bytes
// written. False with *error when a file cannot be read, is shorter than its resource says,
// or f cannot be written.
bool WriteImagePieces(const std::vector<ImagePiece>& pieces, size_t checksumOffset, FILE* f, uint64_t* written,
                      std::string* error);

// The CRC-32 (common/format/crc32.h) of the first `size` bytes of a file, chained on crc, read in
// chunks. False with *error when the file cannot be read or is shorter.
bool FileCrc32(const std::string& path, uint64_t size, uint32_t crc, uint32_t* out, std::string* error);
