#pragma once
// The length an SZDD stream expands to, found without holding the expanded data: the stream
// is expanded piece by piece through a small buffer, by the installer's own reader.
#include <stddef.h>
#include <stdint.h>

#include "common/format/szdd.h"

// The status SzddExpand gives for the stream with an output of the header's expanded
// length, and in *produced the bytes it would write; the memory taken does not depend on
// what the header claims.
SzddStatus SzddCount(const unsigned char* data, size_t size, uint64_t* produced);
