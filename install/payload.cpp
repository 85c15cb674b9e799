// ExpandPayload: the DATA resource expanded straight into the payload buffer.
//
// The expansion runs in memory with our own SZDD expander: the same bytes as the platform's
// LZCopy, and no temporary file that another program of the same user could replace between
// the expansion and the read-back while an elevated installer waits to copy it into place.
#include "common/win/sys.h"
#include "install/logic/szdd.h"
#include "install/state.h"

namespace {

const int kDataNotFound = 36;
const int kDataNotLoaded = 37;
const int kDataNotLocked = 38;
const int kNotExpandable = 46;
const int kEmptyPayload = 48;
const int kNoMemory = 49;

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
    return ReportInternalError(kNotExpandable);
  }
  if (length == 0) return ReportInternalError(kEmptyPayload);

  unsigned char* buffer = static_cast<unsigned char*>(sys::HeapAlloc(GetProcessHeap(), 0, length));
  if (!buffer) return ReportInternalError(kNoMemory);
  if (header == kSzddNotCompressed) {
    CopyMemory(buffer, data, length);
  } else if (SzddExpand(data, size, buffer, length, nullptr) != kSzddOk) {
    // A stream that ends before its stated length, or goes on beyond it.
    HeapFree(GetProcessHeap(), 0, buffer);
    return ReportInternalError(kNotExpandable);
  }
  g.Payload = buffer;
  g.PayloadSize = length;
  return 0;
}
