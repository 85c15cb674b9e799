#include "common/format/szdd_stream.h"

#include <string.h>

SzddStatus SzddStreamBegin(SzddStream* s, const unsigned char* data, size_t size, unsigned char* buf,
                           size_t bufSize, unsigned* length) {
  memset(s, 0, sizeof *s);
  s->buf = buf;
  s->cap = bufSize;
  s->end = data + size;
  SzddStatus header = SzddReadHeader(data, size, &s->length);
  if (header == kSzddNotCompressed) {
    s->plain = true;
    s->in = data;
    s->length = (unsigned)size;
  } else if (header != kSzddOk) {
    s->status = header;
    return header;
  } else {
    s->in = data + kSzddHeaderSize;
    // The window's initial spaces, as the history in front of the first byte produced.
    memset(buf, ' ', kSzddWindowSize);
    s->mark = s->fill = kSzddWindowSize;
  }
  *length = s->length;
  return kSzddOk;
}

namespace {

// Produces bytes until buf holds target, the stated length is reached or the data end.
void Produce(SzddStream* s, size_t target) {
  unsigned char* buf = s->buf;
  while (s->fill < target && s->produced < s->length) {
    unsigned room = (unsigned)(s->cap - s->fill);
    unsigned left = s->length - s->produced;
    if (s->pendingLength) {
      unsigned n = s->pendingLength;
      if (n > room) n = room;
      if (n > left) n = left;  // the rest makes the stream overlong (SzddStreamFinish)
      size_t d = s->pendingDistance;
      for (unsigned i = 0; i < n; i++, s->fill++) buf[s->fill] = buf[s->fill - d];
      s->pendingLength -= n;
      s->produced += n;
      continue;
    }
    if (s->items == 0) {
      if ((size_t)(s->end - s->in) >= kSzddFastInRoom && room >= kSzddFastOutRoom && left >= kSzddFastOutRoom) {
        unsigned char* o = SzddFastGroup(&s->in, buf + s->fill, s->produced);
        size_t n = (size_t)(o - (buf + s->fill));
        s->fill += n;
        s->produced += (unsigned)n;
        continue;
      }
      if (s->in >= s->end) return;
      s->flags = *s->in++;
      s->items = 8;
    }
    bool literal = s->flags & 1;
    s->flags >>= 1;
    s->items--;
    if (literal) {
      if (s->in >= s->end) return;
      buf[s->fill++] = *s->in++;
      s->produced++;
    } else {
      if (s->end - s->in < 2) {
        s->in = s->end;  // half a reference: the end of the data
        return;
      }
      unsigned p = s->in[0] | (unsigned)(s->in[1] & 0xF0) << 4;
      s->pendingLength = (s->in[1] & 0x0F) + kSzddMinMatch;
      s->in += 2;
      unsigned d = (kSzddWindowStart + s->produced - p) & (kSzddWindowSize - 1);
      s->pendingDistance = d ? d : kSzddWindowSize;
    }
  }
}

}  // namespace

SzddStatus SzddStreamRead(SzddStream* s, size_t want, const unsigned char** bytes, size_t* got) {
  *got = 0;
  *bytes = s->buf;
  if (s->status != kSzddOk) return s->status;
  if (want > s->cap - kSzddWindowSize) want = s->cap - kSzddWindowSize;
  if (s->plain) {
    size_t n = (size_t)(s->end - s->in);
    if (n > want) n = want;
    *bytes = s->in;
    *got = n;
    s->in += n;
    s->produced += (unsigned)n;
    return n == want ? kSzddOk : kSzddTruncated;
  }
  if (s->fill - s->mark < want) {
    if (s->cap - s->mark < want) {
      // Keep the bytes not handed out and the window's history before the next byte.
      size_t start = s->fill - kSzddWindowSize;
      if (s->mark < start) start = s->mark;
      memmove(s->buf, s->buf + start, s->fill - start);
      s->mark -= start;
      s->fill -= start;
    }
    Produce(s, s->mark + want);
  }
  size_t n = s->fill - s->mark;
  if (n > want) n = want;
  *bytes = s->buf + s->mark;
  *got = n;
  s->mark += n;
  return n == want ? kSzddOk : kSzddTruncated;
}

SzddStatus SzddStreamSkip(SzddStream* s, unsigned count) {
  const size_t piece = s->cap - kSzddWindowSize;
  while (count > 0) {
    const unsigned char* bytes;
    size_t got;
    SzddStatus status = SzddStreamRead(s, count < piece ? count : piece, &bytes, &got);
    if (status != kSzddOk) return status;
    count -= (unsigned)got;
  }
  return kSzddOk;
}

SzddStatus SzddStreamFinish(SzddStream* s) {
  if (s->status != kSzddOk) return s->status;
  if (s->produced < s->length || s->fill > s->mark) return kSzddTruncated;
  if (s->plain) return kSzddOk;
  if (s->pendingLength) return kSzddOverlong;
  const unsigned char* in = s->in;
  unsigned flags = s->flags;
  if (s->items == 0) {
    if (in >= s->end) return kSzddOk;
    flags = *in++;
  }
  // One more whole item would produce a byte beyond the stated length.
  size_t itemSize = (flags & 1) ? 1 : 2;
  return (size_t)(s->end - in) >= itemSize ? kSzddOverlong : kSzddOk;
}

SzddStatus SzddStreamCheck(const unsigned char* data, size_t size, unsigned char* buf, size_t bufSize) {
  SzddStream s;
  unsigned length;
  SzddStatus status = SzddStreamBegin(&s, data, size, buf, bufSize, &length);
  if (status != kSzddOk) return status;
  if ((status = SzddStreamSkip(&s, length)) != kSzddOk) return status;
  return SzddStreamFinish(&s);
}
