// orv --version: the kit's own version, and the file versions of the stub and the
// uninstaller that `orv build` uses by default, read from their version resources.
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "tools/orv/options.h"
#include "tools/orv/product.h"
#include "tools/orv/verbs.h"
#include "tools/payload/pack.h"
#include "tools/pe/version_info.h"

#ifndef ORV_KIT_VERSION
#error "ORV_KIT_VERSION is set by the build (the project's version)"
#endif

namespace {

const char kHelp[] =
    "Usage: orv --version\n"
    "\n"
    "Prints the kit's version, then for the kit's install_stub.exe and uninstall.exe (the\n"
    "stub and uninstaller that orv build uses by default) the FileVersion of their version\n"
    "resource and where they were found.\n"
    "\n"
    "Exit status: 0 done, 1 a kit file missing or without a version, 2 wrong usage.\n";

}  // namespace

int OrvVersion(int argc, char** argv) {
  VerbOptions table{"--version", kHelp};
  table.unknown = "unexpected argument ";
  table.takes = [](const std::string&) { return false; };
  std::vector<std::string> args;
  int status = ParseVerbOptions(table, argc, argv, &args);
  if (status >= 0) return status;
  printf("orv %s\n", ORV_KIT_VERSION);
  status = 0;
  for (const char* name : {"install_stub.exe", "uninstall.exe"}) {
    std::string path = KitFile(name), error, version;
    std::vector<uint8_t> bytes;
    if (path.empty()) {
      fprintf(stderr, "orv: error: the kit's %s was not found\n", name);
      status = 1;
    } else if (!ReadFileBytes(path, &bytes, &error)) {
      fprintf(stderr, "%s: error: cannot be read\n", path.c_str());
      status = 1;
    } else if (!PeFileVersionText(bytes.data(), bytes.size(), &version)) {
      fprintf(stderr, "%s: error: no FileVersion in its version resource\n", path.c_str());
      status = 1;
    } else {
      printf("%s %s (%s)\n", name, version.c_str(), path.c_str());
    }
  }
  return status;
}
