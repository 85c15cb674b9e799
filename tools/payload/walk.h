#pragma once
// The packer's payload walk and version read (host only), used by PlanPack.
#include <stdint.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

// Collects the regular files under dir (reached as the relative name rel, "" for root) into
// files, by relative name with backslashes. A link is followed when it leads to a file or
// directory inside root and refused when it leads outside, nowhere, or to a directory that
// holds it; a name holding a backslash is refused. chain: the real paths of the directories
// being walked, root first. False with *error ("NAME: reason").
bool WalkPayload(const std::filesystem::path& root, const std::filesystem::path& dir, const std::string& rel,
                 std::vector<std::filesystem::path>* chain, std::map<std::string, std::filesystem::path>* files,
                 std::string* error);

// The FileVersion text of a file's version resource (*has false when there is none). The file
// is mapped, not read: only the pages of its headers and resources are touched.
bool PackFileVersion(const std::string& path, uint64_t size, bool* has, std::string* text, std::string* error);
