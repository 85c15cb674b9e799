#pragma once
// The payload read piece by piece: an SZDD stream (or data without the SZDD header, taken
// as they stand) expanded into a caller-owned buffer of bounded size, whatever the length
// of the expanded data. Resumable at any byte: a reference cut by the buffer's end is
// finished by the next read.
//
// The buffer holds the last kSzddWindowSize bytes produced (at the start: the window's
// initial spaces) in front of the bytes not yet handed out, so every reference is copied
// from the buffer itself. Pure logic: nothing is allocated, nothing is read or written
// outside the spans given.
#include <stddef.h>

#include "common/format/szdd.h"

// The smallest buffer: the window's history and the largest piece asked for at once.
inline size_t SzddStreamBufferSize(size_t largestPiece) { return kSzddWindowSize + largestPiece; }

struct SzddStream {
  const unsigned char* in;   // next unread byte of the compressed data
  const unsigned char* end;  // end of the data
  bool plain;                // data without the SZDD header: handed out as they stand
  unsigned char* buf;
  size_t cap;
  size_t mark;               // buf[mark, fill): produced, not yet handed out
  size_t fill;
  unsigned length;           // the stated expanded length
  unsigned produced;         // bytes produced so far
  unsigned flags;            // the current flag byte, shifted to its next item
  unsigned items;            // items of the current flag byte still to come
  unsigned pendingLength;    // bytes still to copy of a reference cut by the buffer's end
  unsigned pendingDistance;
  SzddStatus status;         // kSzddOk until the stream has failed
};

// Starts reading data (a whole SZDD stream, or data without the header) into buf.
// kSzddOk with *length the expanded length (the data's size when they are plain), or
// kSzddUnknownMode. bufSize must be at least SzddStreamBufferSize(largest piece).
SzddStatus SzddStreamBegin(SzddStream* s, const unsigned char* data, size_t size, unsigned char* buf,
                           size_t bufSize, unsigned* length);

// Gives the next want bytes (at most bufSize - kSzddWindowSize) in one span, valid until the
// next call. Fewer than want only at the end of the expanded data or when the stream fails:
// kSzddTruncated when the data end before the stated length. kSzddOk otherwise.
SzddStatus SzddStreamRead(SzddStream* s, size_t want, const unsigned char** bytes, size_t* got);

// Drops count bytes: kSzddOk when all were there.
SzddStatus SzddStreamSkip(SzddStream* s, unsigned count);

// After the whole stated length has been read: kSzddOk when the data end there (a last flag
// byte whose items are absent, or half a reference, is the usual end), kSzddOverlong when
// they hold another item.
SzddStatus SzddStreamFinish(SzddStream* s);

// The first pass: reads the whole stream without keeping it. kSzddOk when the data yield
// exactly their stated length; otherwise the reason.
SzddStatus SzddStreamCheck(const unsigned char* data, size_t size, unsigned char* buf, size_t bufSize);
