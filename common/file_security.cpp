#include "common/file_security.h"

namespace {

const uint16_t kDaclPresent = 0x0004;
const uint16_t kDaclProtected = 0x1000;
const uint16_t kSelfRelative = 0x8000;
const uint8_t kAclRevision = 2;
const uint8_t kAccessAllowed = 0;
const uint8_t kAccessAllowedCallback = 9;
const uint8_t kObjectInherit = 0x01;
const uint8_t kContainerInherit = 0x02;
const uint8_t kInheritOnly = 0x08;
const uint32_t kFullControl = 0x001F01FF;  // FILE_ALL_ACCESS
const uint32_t kReadExecute = 0x001200A9;  // FILE_GENERIC_READ | FILE_GENERIC_EXECUTE
// Write data or add a file, append or add a subdirectory, delete a child, delete, change
// the permissions, take ownership, maximum allowed, generic all, generic write.
const uint32_t kChangeRights = 0x00000002 | 0x00000004 | 0x00000040 | 0x00010000 | 0x00040000 | 0x00080000 |
                               0x02000000 | 0x10000000 | 0x40000000;

// SIDs as bytes: revision 1, the count of sub-authorities, the authority (6 bytes, big-
// endian), then the sub-authorities (4 bytes each, little-endian). Lists of them follow
// one another, ended by a 0.
#define ORV_NT_SID(n) 1, n, 0, 0, 0, 0, 0, 5
#define ORV_ADMINISTRATORS ORV_NT_SID(2), 32, 0, 0, 0, 0x20, 2, 0, 0
#define ORV_SYSTEM ORV_NT_SID(1), 18, 0, 0, 0
#define ORV_USERS ORV_NT_SID(2), 32, 0, 0, 0, 0x21, 2, 0, 0
const uint8_t kAdministrators[] = {ORV_ADMINISTRATORS};
const uint8_t kSystem[] = {ORV_SYSTEM};
const uint8_t kUsers[] = {ORV_USERS};
// Everyone, Authenticated Users, Users, INTERACTIVE.
const uint8_t kUntrusted[] = {1, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, ORV_NT_SID(1), 11, 0, 0, 0, ORV_USERS,
                              ORV_NT_SID(1), 4, 0, 0, 0, 0};
// Administrators, SYSTEM, TrustedInstaller
// (S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464).
const uint8_t kTrustedOwners[] = {ORV_ADMINISTRATORS, ORV_SYSTEM, ORV_NT_SID(6), 80, 0, 0, 0, 0xB5, 0x89, 0xFB,
                                  0x38, 0x19, 0x84, 0xC2, 0xCB, 0x5C, 0x6C, 0x23, 0x6D, 0x57, 0x00, 0x77, 0x6E,
                                  0xC0, 0x02, 0x64, 0x87, 0};
#undef ORV_NT_SID

uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t Get32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}
void Put16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
  Put16(p, v);
  Put16(p + 2, v >> 16);
}

// The length of the SID at p within the size bytes there; 0 when it does not fit.
size_t SidLength(const uint8_t* p, size_t size) {
  if (size < 8 || p[0] != 1) return 0;
  size_t length = 8 + 4u * p[1];
  return length <= size ? length : 0;
}

bool SameSid(const uint8_t* p, size_t length, const uint8_t* sid, size_t sidLength) {
  if (length != sidLength) return false;
  for (size_t i = 0; i < length; i++)
    if (p[i] != sid[i]) return false;
  return true;
}

// True when the SID p (length bytes) is one of list.
bool InList(const uint8_t* p, size_t length, const uint8_t* list) {
  for (; *list; list += 8 + 4u * list[1])
    if (SameSid(p, length, list, 8 + 4u * list[1])) return true;
  return false;
}

uint8_t* PutAce(uint8_t* p, uint32_t mask, const uint8_t* sid, size_t sidLength) {
  p[0] = kAccessAllowed;
  p[1] = kObjectInherit | kContainerInherit;
  Put16(p + 2, static_cast<uint32_t>(8 + sidLength));
  Put32(p + 4, mask);
  for (size_t i = 0; i < sidLength; i++) p[8 + i] = sid[i];
  return p + 8 + sidLength;
}

// Where the part at the offset stored at sd + field starts; 0 for none, -1 when it lies
// outside size.
long PartOffset(const uint8_t* sd, size_t size, unsigned field) {
  uint32_t offset = Get32(sd + field);
  if (offset == 0) return 0;
  if (offset < 20 || offset >= size) return -1;
  return static_cast<long>(offset);
}

}  // namespace

size_t BuildCreatedDirDescriptor(bool protectedList, uint8_t* out, size_t capacity) {
  const size_t ownerAt = 20;
  const size_t aclAt = ownerAt + sizeof kAdministrators;
  const size_t aclSize =
      8 + 3 * 8 + sizeof kAdministrators + sizeof kSystem + sizeof kUsers;
  const size_t length = protectedList ? aclAt + aclSize : aclAt;
  if (capacity < length) return 0;
  for (size_t i = 0; i < length; i++) out[i] = 0;
  out[0] = 1;
  Put16(out + 2, kSelfRelative | (protectedList ? kDaclPresent | kDaclProtected : 0));
  Put32(out + 4, ownerAt);
  for (size_t i = 0; i < sizeof kAdministrators; i++) out[ownerAt + i] = kAdministrators[i];
  if (!protectedList) return length;
  Put32(out + 16, aclAt);
  uint8_t* acl = out + aclAt;
  acl[0] = kAclRevision;
  Put16(acl + 2, aclSize);
  Put16(acl + 4, 3);
  uint8_t* p = PutAce(acl + 8, kFullControl, kAdministrators, sizeof kAdministrators);
  p = PutAce(p, kFullControl, kSystem, sizeof kSystem);
  PutAce(p, kReadExecute, kUsers, sizeof kUsers);
  return length;
}

bool OthersCanChange(const uint8_t* sd, size_t size, unsigned judgement, const uint8_t* runningUser,
                     size_t userSize) {
  if (size < 20 || sd[0] != 1) return true;
  uint16_t control = Get16(sd + 2);
  if (!(control & kSelfRelative)) return true;
  if (judgement & kJudgeOwner) {
    long owner = PartOffset(sd, size, 4);
    if (owner <= 0) return true;
    size_t n = SidLength(sd + owner, size - owner);
    if (n == 0 || !(InList(sd + owner, n, kTrustedOwners) || (runningUser && SameSid(sd + owner, n, runningUser, userSize))))
      return true;
  }
  // No list, or a NULL one, allows everything to everyone.
  if (!(control & kDaclPresent)) return true;
  long dacl = PartOffset(sd, size, 16);
  if (dacl <= 0 || size - dacl < 8) return true;
  const uint8_t* acl = sd + dacl;
  size_t aclSize = Get16(acl + 2);
  if (aclSize < 8 || aclSize > size - dacl) return true;
  unsigned count = Get16(acl + 4);
  size_t at = 8;
  for (unsigned i = 0; i < count; i++) {
    if (aclSize - at < 8) return true;
    const uint8_t* ace = acl + at;
    size_t aceSize = Get16(ace + 2);
    if (aceSize < 8 || aceSize > aclSize - at) return true;
    at += aceSize;
    if (ace[0] != kAccessAllowed && ace[0] != kAccessAllowedCallback) continue;
    if ((ace[1] & kInheritOnly) && !((judgement & kJudgeInherited) && (ace[1] & (kObjectInherit | kContainerInherit))))
      continue;
    if (!(Get32(ace + 4) & kChangeRights)) continue;
    size_t n = SidLength(ace + 8, aceSize - 8);
    if (n == 0) return true;
    if (InList(ace + 8, n, kUntrusted)) return true;
  }
  return false;
}

size_t SelfRelativeLength(const uint8_t* sd, size_t size) {
  if (size < 20 || !(Get16(sd + 2) & kSelfRelative)) return 0;
  size_t end = 20;
  for (unsigned field = 4; field <= 16; field += 4) {
    long at = PartOffset(sd, size, field);
    if (at < 0) return 0;
    if (at == 0) continue;
    size_t n = field <= 8 ? SidLength(sd + at, size - at) : (size - at >= 8 ? Get16(sd + at + 2) : 0);
    if (n == 0 || n > size - at) return 0;
    if (at + n > end) end = at + n;
  }
  return end;
}
