#include <gtest/gtest.h>

#include <stdint.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "common/file_security.h"

namespace {

typedef std::vector<uint8_t> Bytes;

// A SID from its text form "S-1-5-32-544".
Bytes Sid(const std::string& text) {
  std::vector<uint32_t> parts;
  for (size_t at = 2; at <= text.size();) {
    size_t end = text.find('-', at);
    if (end == std::string::npos) end = text.size();
    parts.push_back(static_cast<uint32_t>(strtoul(text.substr(at, end - at).c_str(), nullptr, 10)));
    at = end + 1;
  }
  Bytes sid = {static_cast<uint8_t>(parts[0]), static_cast<uint8_t>(parts.size() - 2), 0, 0, 0, 0, 0,
               static_cast<uint8_t>(parts[1])};
  for (size_t i = 2; i < parts.size(); i++)
    for (int b = 0; b < 4; b++) sid.push_back(static_cast<uint8_t>(parts[i] >> (8 * b)));
  return sid;
}

const char kAdmins[] = "S-1-5-32-544";
const char kUsers[] = "S-1-5-32-545";
const char kSystem[] = "S-1-5-18";
const char kEveryone[] = "S-1-1-0";
const char kAuthenticated[] = "S-1-5-11";
const char kInteractive[] = "S-1-5-4";
const char kCreatorOwner[] = "S-1-3-0";
const char kTrustedInstaller[] = "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
const char kUser[] = "S-1-5-21-0-0-0-1000";
const char kOtherUser[] = "S-1-5-21-0-0-0-1001";

struct Ace {
  uint8_t type;
  uint8_t flags;
  uint32_t mask;
  std::string sid;
};

void Put(Bytes& b, size_t at, uint32_t v, int n) {
  for (int i = 0; i < n; i++) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// A self-relative descriptor: header, owner (when given), then the list (when dacl).
Bytes Descriptor(const std::string& owner, bool dacl, const std::vector<Ace>& aces, uint16_t control = 0x8004) {
  Bytes sd(20, 0);
  sd[0] = 1;
  Put(sd, 2, control, 2);
  if (!owner.empty()) {
    Put(sd, 4, static_cast<uint32_t>(sd.size()), 4);
    Bytes s = Sid(owner);
    sd.insert(sd.end(), s.begin(), s.end());
  }
  if (dacl) {
    size_t aclAt = sd.size();
    Put(sd, 16, static_cast<uint32_t>(aclAt), 4);
    Bytes acl(8, 0);
    acl[0] = 2;
    Put(acl, 4, static_cast<uint32_t>(aces.size()), 2);
    for (const Ace& a : aces) {
      Bytes s = Sid(a.sid);
      Bytes ace(8, 0);
      ace[0] = a.type;
      ace[1] = a.flags;
      Put(ace, 2, static_cast<uint32_t>(8 + s.size()), 2);
      Put(ace, 4, a.mask, 4);
      ace.insert(ace.end(), s.begin(), s.end());
      acl.insert(acl.end(), ace.begin(), ace.end());
    }
    Put(acl, 2, static_cast<uint32_t>(acl.size()), 2);
    sd.insert(sd.end(), acl.begin(), acl.end());
  }
  return sd;
}

std::string Hex(const Bytes& b) {
  std::string s;
  char two[3];
  for (uint8_t c : b) {
    snprintf(two, sizeof two, "%02x", c);
    s += two;
  }
  return s;
}

TEST(CreatedDirDescriptor, OutermostLevelIsOwnedByAdministratorsWithAProtectedInheritedList) {
  const uint8_t inherit = 0x01 | 0x02;  // files and subdirectories
  Bytes expected = Descriptor(kAdmins, true,
                              {{0, inherit, 0x1F01FF, kAdmins}, {0, inherit, 0x1F01FF, kSystem},
                               {0, inherit, 0x1200A9, kUsers}},
                              0x8000 | 0x1000 | 0x0004);
  uint8_t out[kCreatedDirDescriptorBytes + 8];
  size_t n = BuildCreatedDirDescriptor(true, out, sizeof out);
  EXPECT_EQ(Hex(expected), Hex(Bytes(out, out + n)));
  EXPECT_EQ(kCreatedDirDescriptorBytes, n);
  EXPECT_EQ(n, SelfRelativeLength(out, sizeof out));
  EXPECT_FALSE(OthersCanChange(out, n, kJudgeOwner | kJudgeInherited, nullptr, 0));
  EXPECT_EQ(0u, BuildCreatedDirDescriptor(true, out, kCreatedDirDescriptorBytes - 1));
}

TEST(CreatedDirDescriptor, InnerLevelsGetTheOwnerAndInheritTheirList) {
  Bytes expected = Descriptor(kAdmins, false, {}, 0x8000);
  uint8_t out[64];
  size_t n = BuildCreatedDirDescriptor(false, out, sizeof out);
  EXPECT_EQ(Hex(expected), Hex(Bytes(out, out + n)));
  EXPECT_EQ(n, SelfRelativeLength(out, sizeof out));
  EXPECT_EQ(0u, BuildCreatedDirDescriptor(false, out, n - 1));
}

struct Case {
  const char* what;
  std::string owner;
  std::vector<Ace> aces;
  unsigned judgement;
  bool changeable;
};

const uint32_t kRead = 0x1200A9;
const uint32_t kFull = 0x1F01FF;

TEST(OthersCanChange, Table) {
  const Ace admins = {0, 3, kFull, kAdmins};
  const Ace system = {0, 3, kFull, kSystem};
  const Ace usersRead = {0, 3, kRead, kUsers};
  std::vector<Case> cases = {
      {"administrators only", kAdmins, {admins, system, usersRead}, kJudgeOwner, false},
      {"Wine's made-up 0755", kUser, {system, {0, 0, kFull, kUser}, {0, 0, kRead, kEveryone}}, kJudgeOwner, false},
      {"Wine's made-up 0777", kUser, {system, {0, 0, kFull, kUser}, {0, 0, 0x1301FF, kEveryone}}, kJudgeOwner,
       true},
      {"Program Files: CREATOR OWNER generic all, inherit only", kTrustedInstaller,
       {admins, system, usersRead, {0, 0x0B, 0x10000000, kCreatorOwner}, {0, 0x0B, 0xA0000000, kUsers}},
       kJudgeOwner | kJudgeInherited, false},
      {"Users write data", kAdmins, {admins, {0, 0, 0x2, kUsers}}, kJudgeOwner, true},
      {"Everyone append", kAdmins, {admins, {0, 0, 0x4, kEveryone}}, kJudgeOwner, true},
      {"Authenticated Users delete child", kAdmins, {{0, 0, 0x40, kAuthenticated}}, 0, true},
      {"INTERACTIVE delete", kAdmins, {{0, 0, 0x10000, kInteractive}}, 0, true},
      {"Users change permissions", kAdmins, {{0, 0, 0x40000, kUsers}}, 0, true},
      {"Users take ownership", kAdmins, {{0, 0, 0x80000, kUsers}}, 0, true},
      {"Everyone generic write", kAdmins, {{0, 0, 0x40000000, kEveryone}}, 0, true},
      {"Everyone generic all", kAdmins, {{0, 0, 0x10000000, kEveryone}}, 0, true},
      {"Users modify on C:\\ subfolders, by a callback entry", kAdmins, {{9, 0, 0x1301BF, kUsers}}, 0, true},
      {"a deny entry for Everyone", kAdmins, {admins, {1, 0, kFull, kEveryone}}, kJudgeOwner, false},
      {"an audit-like type for Everyone", kAdmins, {{2, 0, kFull, kEveryone}}, 0, false},
      {"Everyone read and execute", kAdmins, {{0, 0, kRead, kEveryone}}, 0, false},
      {"write attributes and extended attributes only", kAdmins, {{0, 0, 0x110, kUsers}}, 0, false},
      {"another user full control", kAdmins, {{0, 0, kFull, kOtherUser}}, kJudgeOwner, false},
      {"CREATOR OWNER full control", kAdmins, {{0, 0, kFull, kCreatorOwner}}, kJudgeOwner, false},
      {"Users write, inherit only, judging the object", kAdmins, {{0, 0x0B, kFull, kUsers}}, kJudgeOwner, false},
      {"Users write, inherit only, judging what is created inside", kAdmins, {{0, 0x0B, kFull, kUsers}},
       kJudgeInherited, true},
      {"owner SYSTEM", kSystem, {admins}, kJudgeOwner, false},
      {"owner TrustedInstaller", kTrustedInstaller, {admins}, kJudgeOwner, false},
      {"owner the running user", kUser, {admins}, kJudgeOwner, false},
      {"owner another user", kOtherUser, {admins}, kJudgeOwner, true},
      {"owner Users", kUsers, {admins}, kJudgeOwner, true},
      {"owner another user, owner not judged", kOtherUser, {admins}, kJudgeEntries, false},
      {"no owner", "", {admins}, kJudgeOwner, true},
      {"an empty list", kAdmins, {}, kJudgeOwner, false},
  };
  const Bytes user = Sid(kUser);
  for (const Case& c : cases) {
    Bytes sd = Descriptor(c.owner, true, c.aces);
    EXPECT_EQ(c.changeable, OthersCanChange(sd.data(), sd.size(), c.judgement, user.data(), user.size())) << c.what;
  }
}

TEST(OthersCanChange, NoListOrAnUnreadableDescriptorIsNotTrusted) {
  Bytes noList = Descriptor(kAdmins, false, {}, 0x8000);
  EXPECT_TRUE(OthersCanChange(noList.data(), noList.size(), 0, nullptr, 0));
  Bytes nullList = Descriptor(kAdmins, false, {}, 0x8004);
  EXPECT_TRUE(OthersCanChange(nullList.data(), nullList.size(), 0, nullptr, 0));
  Bytes good = Descriptor(kAdmins, true, {{0, 3, kFull, kAdmins}});
  ASSERT_FALSE(OthersCanChange(good.data(), good.size(), kJudgeOwner, nullptr, 0));
  Bytes absolute = Descriptor(kAdmins, true, {{0, 3, kFull, kAdmins}}, 0x0004);
  EXPECT_TRUE(OthersCanChange(absolute.data(), absolute.size(), 0, nullptr, 0));
  // Cut anywhere, the descriptor no longer parses.
  for (size_t n = 0; n < good.size(); n++)
    EXPECT_TRUE(OthersCanChange(good.data(), n, kJudgeOwner, nullptr, 0)) << n;
  Bytes longAce = good;
  longAce[good.size() - 16 - 8 + 2] = 0xFF;  // the entry's size beyond the list
  EXPECT_TRUE(OthersCanChange(longAce.data(), longAce.size(), 0, nullptr, 0));
  EXPECT_EQ(good.size(), SelfRelativeLength(good.data(), good.size()));
  EXPECT_EQ(0u, SelfRelativeLength(good.data(), good.size() - 1));
}

}  // namespace
