#pragma once
// The FileVersion text of a PE file's version resource (host only; pure logic over a span).
#include <stddef.h>
#include <stdint.h>

#include <string>

// The FileVersion string of a PE file's version resource, from the "080904B0" table or
// else the "040904B0" one (keys compared without regard to case), converted to 8-bit text
// (characters beyond ASCII become '?'). False when the data are not a PE file, have no
// version resource, or neither table has a FileVersion. Never reads outside [data, data + size).
bool PeFileVersionText(const uint8_t* data, size_t size, std::string* text);
