#include "tools/payload/names.h"

#include <algorithm>

std::string FoldCase(const std::string& name) {
  std::string key = name;
  for (char& c : key)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return key;
}

std::string UpperAscii(const std::string& name) {
  std::string upper = name;
  for (char& c : upper)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return upper;
}

bool IsDeviceName(const std::string& part) {
  std::string base = UpperAscii(part.substr(0, part.find('.')));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL") return true;
  if (base.size() != 4 || (base.compare(0, 3, "COM") != 0 && base.compare(0, 3, "LPT") != 0)) return false;
  unsigned char digit = static_cast<unsigned char>(base[3]);
  return (digit >= '1' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
}

size_t EditDistance(const std::string& a, const std::string& b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); j++) row[j] = j;
  for (size_t i = 1; i <= a.size(); i++) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); j++) {
      size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

PayloadNames::PayloadNames(const std::vector<PackEntry>& payload) {
  for (const PackEntry& entry : payload) {
    std::string key = FoldCase(entry.name);
    files_.emplace(key, &entry);
    names_.push_back(entry.name);
    if (entry.name.size() > longest_.size()) longest_ = entry.name;
    for (size_t at = key.find('\\'); at != std::string::npos; at = key.find('\\', at + 1))
      directories_.insert(key.substr(0, at));
  }
  std::sort(names_.begin(), names_.end());
}

const PackEntry* PayloadNames::FindFile(const std::string& target) const {
  auto found = files_.find(FoldCase(target));
  return found == files_.end() ? nullptr : found->second;
}

bool PayloadNames::IsDirectory(const std::string& target) const {
  std::string key = FoldCase(target);
  if (!key.empty() && key.back() == '\\') key.pop_back();
  return directories_.count(key) != 0;
}

std::string PayloadNames::Suggest(const std::string& target) const {
  std::string key = FoldCase(target);
  std::replace(key.begin(), key.end(), '/', '\\');
  if (key.empty()) return "";
  // Separators written the other way round.
  if (const PackEntry* same = FindFile(key)) return same->name;
  // The file named without its directory, when only one file has that name.
  std::string only;
  int endings = 0;
  for (const std::string& name : names_) {
    std::string folded = FoldCase(name);
    if (folded.size() > key.size() && folded.compare(folded.size() - key.size(), key.size(), key) == 0 &&
        folded[folded.size() - key.size() - 1] == '\\') {
      only = name;
      endings++;
    }
  }
  if (endings == 1) return only;
  // A typo: the nearest name, when it is near enough for the difference to be one.
  size_t bound = std::max<size_t>(2, key.size() / 4);
  std::string best;
  size_t bestDistance = bound + 1;
  for (const std::string& name : names_) {
    size_t distance = EditDistance(key, FoldCase(name));
    if (distance < bestDistance) {
      bestDistance = distance;
      best = name;
    }
  }
  return best;
}
