#pragma once
// The SZDD stream: a 14-byte header and LZSS data.
//
//   offset 0   8 bytes  magic "SZDD" 88 F0 27 33
//   offset 8   1 byte   compression mode 'A'
//   offset 9   1 byte   the character missing from the compressed file's name (0: none)
//   offset 10  4 bytes  expanded length, unsigned, little-endian
//   offset 14  LZSS data
//
// The LZSS data use a 4096-byte ring window that starts filled with spaces, the write
// position starting at 4080. A flag byte governs the next eight items, least significant bit
// first: 1 is one literal byte, 0 a two-byte reference to window position
// b0 | (b1 & 0xF0) << 4 of length (b1 & 0x0F) + 3. Every output byte is also stored in the
// window at the write position, which advances modulo 4096.
//
// Pure logic over caller-owned buffers: nothing is allocated, and nothing is read or written
// outside the spans given, whatever the input.
#include <stddef.h>

const unsigned kSzddHeaderSize = 14;
const unsigned kSzddWindowSize = 4096;
const unsigned kSzddWindowStart = 4096 - 16;
const unsigned kSzddMinMatch = 3;
const unsigned kSzddMaxMatch = 18;
extern const unsigned char kSzddMagic[8];

enum SzddStatus {
  kSzddOk = 0,
  kSzddNotCompressed,  // shorter than the header, or no magic: the data are taken as they stand
  kSzddUnknownMode,    // the magic, but a compression mode other than 'A'
  kSzddTruncated,      // the data end before the stated length has been produced
  kSzddOverlong,       // the data would produce more than the stated length
};

// Reads the header. kSzddOk with the expanded length; kSzddNotCompressed when the data do
// not begin with a complete header carrying the magic (the platform's expander then copies
// them unchanged); kSzddUnknownMode when the mode is not 'A'.
SzddStatus SzddReadHeader(const unsigned char* data, size_t size, unsigned* expandedLength);

// Expands a whole SZDD stream (header included) into out, which must hold exactly the
// expanded length of the header. kSzddOk when the data yield exactly outSize bytes; a last
// flag byte whose remaining items are absent, or an incomplete reference after the last
// byte, is the usual end of a stream and ignored, as by the platform's expander.
// kSzddTruncated when the data end earlier, kSzddOverlong when they go on producing bytes
// (out is then filled but the stream is refused), and the header statuses as above.
// `produced` (may be null) receives the number of bytes written to out; bytes of out past
// it may have been written too (a reference is copied in whole words), never past outSize.
// Time is linear in the output: far from both ends, a flag byte's eight items are taken
// without bound checks and references are copied a word at a time.
SzddStatus SzddExpand(const unsigned char* data, size_t size, unsigned char* out, size_t outSize,
                      size_t* produced);

// One flag byte's eight items taken without bound checks, for the expanders' fast path:
// *in must have kSzddFastInRoom bytes and o kSzddFastOutRoom bytes of room (a reference is
// copied in words that may run up to 3 bytes past its end), and the kSzddWindowSize bytes
// before o must be the last bytes produced. k is the number of bytes produced before o.
// Gives the new end of the output and advances *in.
const size_t kSzddFastOutRoom = 8 * kSzddMaxMatch + 4;
const size_t kSzddFastInRoom = 1 + 8 * 2;
unsigned char* SzddFastGroup(const unsigned char** in, unsigned char* o, size_t k);

// Writes the 14-byte header for an expanded length into header.
void SzddWriteHeader(unsigned expandedLength, unsigned char header[14]);
