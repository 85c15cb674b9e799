#pragma once
// orv inspect's report on an installer's bytes, apart from reading the file, so that any
// bytes at all can be given to it.
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#include <string>

#include "tools/script_check/diagnostics.h"

// Writes what the installer carries to out and every fault found to diags (named by path).
// Reads nothing outside [image, image + size); takes memory bounded by the size, whatever
// the bytes claim.
void InspectInstaller(const uint8_t* image, size_t size, const std::string& path, FILE* out, Diagnostics* diags);
