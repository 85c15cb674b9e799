// Placeholder until the script and licence checks land: the texts pass through unchanged.
#include "tools/script_check.h"

void CheckScript(const std::string& raw, const std::vector<PackEntry>& /*payload*/, const std::string& /*fileName*/,
                 std::string* normalised, Diagnostics* /*diags*/) {
  *normalised = raw;
}

void CheckLicence(const std::string& raw, const std::string& /*fileName*/, std::string* normalised,
                  Diagnostics* /*diags*/) {
  *normalised = raw;
}
