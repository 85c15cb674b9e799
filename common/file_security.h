#pragma once
// File security descriptors as bytes: the one the installer gives every directory level it
// creates, and the judgement whether users who are not administrators can change a file or
// directory, read from the self-relative descriptor the platform reports. No platform
// headers: the layouts are those of the NT family's self-relative security descriptor, its
// access-control list and its entries, all little-endian.
#include <stddef.h>
#include <stdint.h>

// The descriptor of a directory level the installer creates. The outermost created level
// (protectedList) gets the owner Administrators and a protected list, inherited by
// everything below it, of Administrators and SYSTEM with full control and Users with read
// and execute. A level inside it gets the owner Administrators and no list of its own: the
// platform then gives it the entries inherited from the level above, as it does for every
// file written inside later, so the whole tree follows the one protected list.
// Returns the descriptor's length, or 0 when it does not fit capacity.
const size_t kCreatedDirDescriptorBytes = 112;
size_t BuildCreatedDirDescriptor(bool protectedList, uint8_t* out, size_t capacity);

// How far a judgement looks.
enum ChangeJudgement {
  kJudgeEntries = 0,
  // The owner must be Administrators, SYSTEM, TrustedInstaller or runningUser.
  kJudgeOwner = 1,
  // Inherit-only entries count too: they give their rights to what is created inside.
  kJudgeInherited = 2,
};

// True when users who are not administrators can change what the descriptor guards: an
// entry that allows Everyone, Authenticated Users, Users or INTERACTIVE to write, append,
// delete children, delete, change the permissions, take ownership, or generic write or
// all; no list at all; or (kJudgeOwner) another owner or none. Deny entries, entries for
// other trustees, read-only masks and (without kJudgeInherited) inherit-only entries do
// not count. A descriptor that is not self-relative or does not parse counts as
// changeable: what cannot be judged is not trusted. runningUser is a SID (may be NULL).
bool OthersCanChange(const uint8_t* sd, size_t size, unsigned judgement, const uint8_t* runningUser,
                     size_t userSize);

// The length of a self-relative descriptor: the end of its last part. 0 when it does not
// parse within size.
size_t SelfRelativeLength(const uint8_t* sd, size_t size);
