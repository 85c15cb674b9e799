#pragma once
// The length an SZDD stream expands to, counted without storing a byte: the length depends
// only on the flag bits and the references' lengths, never on the window's contents.
#include <stddef.h>
#include <stdint.h>

#include "install/logic/szdd.h"

// The status SzddExpand gives for the stream with an output of the header's expanded
// length, and in *produced the bytes it would write; no memory is taken whatever the
// header claims.
SzddStatus SzddCount(const unsigned char* data, size_t size, uint64_t* produced);
