#pragma once
// The payload's names as the installed files will be found on Windows: case-insensitive,
// backslashes between directory names. The install script's shortcut, driver and option
// targets are looked up here, with the nearest name offered for a typo. The packer lets
// only ASCII names through, so folding ASCII letters is all the case-insensitivity needed.
#include <map>
#include <set>
#include <string>
#include <vector>

#include "tools/payload/pack.h"

class PayloadNames {
 public:
  explicit PayloadNames(const std::vector<PackEntry>& payload);

  // The payload file that target names (letter case ignored for ASCII letters, as the
  // file system does; '/' not taken for '\'), or null.
  const PackEntry* FindFile(const std::string& target) const;
  // Whether target names a directory that the payload's files make (such as "docs").
  bool IsDirectory(const std::string& target) const;
  // The payload name nearest to target, for "(did you mean '...'?)", or "" when none is
  // near enough: a name that differs only in its separators, one whose last part is target,
  // or one within a small edit distance.
  std::string Suggest(const std::string& target) const;
  // The longest name, the one that needs most room under the installation directory.
  const std::string& Longest() const { return longest_; }

 private:
  std::map<std::string, const PackEntry*> files_;  // by lower-case name
  std::set<std::string> directories_;              // lower-case
  std::vector<std::string> names_;                 // as the payload spells them
  std::string longest_;
};

// Whether Windows takes one part of a path (no backslash in it) for a device rather than a
// file: CON, PRN, AUX, NUL, COM1 to COM9 or LPT1 to LPT9 (also with the code page 1252
// superscripts 1, 2 and 3), in any letter case, alone or before a '.' and whatever follows
// it, and with blanks after it ("CON .txt" is the console too).
bool IsDeviceName(const std::string& part);

// name with its ASCII letters in upper case (other bytes as they are).
std::string UpperAscii(const std::string& name);

// The key by which Windows' file systems compare names: ASCII letters in lower case.
std::string FoldCase(const std::string& name);

// The number of single-character insertions, deletions and replacements between a and b.
size_t EditDistance(const std::string& a, const std::string& b);
