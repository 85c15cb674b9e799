// ExpandPayload: the check that the DATA resource expands to exactly its stated length,
// before any file is written; and the reading of the payload, piece by piece, into files.
//
// The payload is never held whole: it is expanded from the mapped image through one buffer
// of bounded size, straight into each file as the file list goes, with our own SZDD
// expander (the same bytes as the platform's LZCopy, and no temporary file that another
// program of the same user could replace while an elevated installer waits). A damaged
// stream is refused by a first pass that expands it without keeping it.
#include "common/win/sys.h"
#include "common/format/szdd_stream.h"
#include "install/state.h"

namespace {

const size_t kBufferSize = SzddStreamBufferSize(kPayloadPiece);

}  // namespace

int ExpandPayload() {
  HRSRC resource = sys::FindResourceA(g.Instance, "DATA", "FILES");
  if (!resource) return ReportInternalError(kDataNotFound);
  HGLOBAL loaded = sys::LoadResource(g.Instance, resource);
  if (!loaded) return ReportInternalError(kDataNotLoaded);
  const unsigned char* data = static_cast<const unsigned char*>(sys::LockResource(loaded));
  if (!data) return ReportInternalError(kDataNotLocked);
  DWORD size = sys::SizeofResource(g.Instance, resource);

  // Like LZCopy, data without the SZDD header are taken as they stand.
  unsigned length = 0;
  SzddStatus header = SzddReadHeader(data, size, &length);
  if (header == kSzddNotCompressed) {
    length = size;
  } else if (header != kSzddOk) {
    return ReportInternalError(kPayloadNotExpandable);
  }
  if (length == 0) return ReportInternalError(kPayloadEmpty);

  unsigned char* buffer = static_cast<unsigned char*>(sys::HeapAlloc(GetProcessHeap(), 0, kBufferSize));
  if (!buffer) return ReportInternalError(kPayloadNoMemory);
  // A stream that ends before its stated length, or goes on beyond it.
  if (SzddStreamCheck(data, size, buffer, kBufferSize) != kSzddOk) {
    HeapFree(GetProcessHeap(), 0, buffer);
    return ReportInternalError(kPayloadNotExpandable);
  }
  g.PayloadData = data;
  g.PayloadDataSize = size;
  g.Payload = buffer;
  g.PayloadSize = length;
  return 0;
}

void BeginPayload(SzddStream* stream) {
  unsigned length;
  SzddStreamBegin(stream, g.PayloadData, g.PayloadDataSize, g.Payload, kBufferSize, &length);
}

bool WritePayload(SzddStream* stream, HANDLE file, unsigned size) {
  // One write also for an empty file, as for every file up to a piece.
  do {
    unsigned want = size < kPayloadPiece ? size : kPayloadPiece;
    const unsigned char* bytes;
    size_t got;
    if (SzddStreamRead(stream, want, &bytes, &got) != kSzddOk) return false;
    DWORD written = 0;
    if (!sys::WriteFile(file, bytes, want, &written, NULL) || written != want) return false;
    size -= want;
  } while (size > 0);
  return true;
}
