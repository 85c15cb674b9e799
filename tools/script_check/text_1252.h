#pragma once
// The publisher's text files (install script, licence) made into what the installer reads:
// Windows code page 1252 with CR LF line ends.
//
// How the input's characters are told apart:
//  - A UTF-16 byte-order mark (FF FE or FE FF) at the start: the text is UTF-16, converted
//    with a warning; one that does not decode is an error.
//  - A UTF-8 byte-order mark at the start is dropped (with a warning); the rest must then be
//    UTF-8, and a byte sequence that is not is an error.
//  - Otherwise, a text whose bytes are all below 0x80 is taken as it is.
//  - A text that is valid UTF-8 (shortest forms only, no surrogates) and holds bytes of
//    0x80 and above is UTF-8: it is converted, and a character that code page 1252 cannot
//    hold is an error with its line and column.
//  - A text that is not valid UTF-8 is taken as code-page-1252 bytes already. (A 1252 text
//    whose high bytes happen to form valid UTF-8, such as "Ã©", is read as UTF-8; real
//    1252 text almost never does.)
// Line ends: CR LF stays; an LF alone becomes CR LF (one warning for the whole file); a CR
// not followed by LF is an error (and is made CR LF in the returned text). A last line
// without a line end gets CR LF, with a warning. A NUL byte is an error: the installer
// treats the text as ending there. Lines and columns are 1-based; a column counts
// characters, as an editor does.
#include <stdint.h>

#include <string>

#include "tools/script_check/diagnostics.h"

// The code-page-1252 byte for a Unicode code point, or -1 when 1252 has none. The five
// bytes that 1252 leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) and the other C1
// controls are not produced.
int UnicodeTo1252(uint32_t codePoint);

// The Unicode code point of a 1252 byte; the five undefined bytes map to the C1 control
// of the same number, as Windows does.
uint32_t Cp1252ToUnicode(unsigned char byte);

// 1252 bytes as UTF-8, for quoting script values in messages printed on a terminal.
std::string Cp1252ToUtf8(const std::string& text);

// Whether the bytes are valid UTF-8 (shortest forms, no surrogates, at most U+10FFFF).
// *firstBad (may be null) receives the offset of the first byte that is not.
bool IsValidUtf8(const std::string& bytes, size_t* firstBad);

// Makes raw into code page 1252 with CR LF line ends, reporting what it changed or could
// not take under fileName. The result always ends with CR LF unless it is empty.
std::string NormaliseText(const std::string& raw, const std::string& fileName, Diagnostics* diags);
