// orv resources (for tests, not in `orv --help`): FILES resources written into a copy of a
// stub as given, with no check at all, so that tests can make installers that leave a
// resource out or carry a broken one on purpose.
#include <stdio.h>

#include <string>
#include <vector>

#include "tools/orv/options.h"
#include "tools/orv/product.h"
#include "tools/orv/verbs.h"

namespace {

const char kHelp[] =
    "Usage: orv resources --stub FILE -o OUT [NAME=FILE]...\n"
    "\n"
    "For tests only: writes each FILE as the FILES resource NAME into a copy of the stub,\n"
    "unchecked (no script, licence, payload or checksum check; nothing is added that is not\n"
    "named). A later NAME=FILE for the same NAME wins.\n"
    "\n"
    "Exit status: 0 written, 1 failed, 2 wrong usage.\n";

}  // namespace

int OrvResources(int argc, char** argv) {
  std::string stubPath, out;
  VerbOptions table{"resources", kHelp};
  table.options = {ValueOption("--stub", &stubPath, "--stub needs a file"), ValueOption("-o", &out, "-o needs a file")};
  table.unknown = "unexpected argument ";
  table.takes = [](const std::string& a) { return a.find('=') != std::string::npos && a.find('=') > 0 && a[0] != '-'; };
  std::vector<std::string> args;
  int status = ParseVerbOptions(table, argc, argv, &args);
  if (status >= 0) return status;
  std::vector<std::pair<std::string, std::string>> given;
  for (const std::string& a : args) given.emplace_back(a.substr(0, a.find('=')), a.substr(a.find('=') + 1));
  if (stubPath.empty() || out.empty()) return UsageError("resources", "--stub and -o are required");
  std::vector<uint8_t> stub, installer;
  std::string error;
  std::vector<std::pair<std::string, std::vector<uint8_t>>> files;
  for (const auto& g : given) {
    std::vector<uint8_t> bytes;
    if (!ReadFileBytes(g.second, &bytes, &error)) {
      fprintf(stderr, "%s: error: cannot be read (resource %s)\n", g.second.c_str(), g.first.c_str());
      return 1;
    }
    files.emplace_back(g.first, std::move(bytes));
  }
  uint32_t stamp = 0;
  if (!ReproducibleTimeStamp(&stamp, &error)) {
    fprintf(stderr, "orv: error: %s\n", error.c_str());
    return 1;
  }
  if (!ReadFileBytes(stubPath, &stub, &error) || !AssembleInstaller(stub, files, stamp, &installer, &error) ||
      !WriteFileWhole(out, installer, true, &error)) {
    fprintf(stderr, "%s: error: %s\n", stubPath.c_str(), error.c_str());
    return 1;
  }
  return 0;
}
