// orv check: everything `orv build` checks, nothing written.
#include <stdio.h>

#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "tools/orv/options.h"
#include "tools/orv/product.h"
#include "tools/orv/verbs.h"
#include "tools/payload/limits.h"

namespace {

const char kHelp[] =
    "Usage: orv check PRODUCT_DIR [--order FILE] [--strict]\n"
    "\n"
    "Checks a product folder (SCRIPT, LICENCE, payload/, optional ORDER) as `orv build`\n"
    "does, and writes nothing: the install script item by item as the installer will read\n"
    "it, the licence, and every payload file, and whether the installer stays within the\n"
    "size that every Windows can map (a payload that might not is compressed and counted,\n"
    "as orv build would). Each finding is reported on stderr as\n"
    "FILE:LINE: error: ... or FILE:LINE: warning: ...\n"
    "\n"
    "  --order FILE  instead of PRODUCT_DIR/ORDER\n"
    "  --strict      warnings count as errors\n"
    "\n"
    "Exit status: 0 no errors, 1 errors found, 2 wrong usage.\n";

// The kit's stub and uninstaller, as orv build takes them by default; 64 KB when there is
// no kit (more than both).
uint64_t KitBytes() {
  uint64_t bytes = 0;
  for (const char* name : {"install_stub.exe", "uninstall.exe"}) {
    std::string path = KitFile(name);
    std::error_code ec;
    uint64_t size = path.empty() ? 0 : std::filesystem::file_size(path, ec);
    if (path.empty() || ec) return 64u << 10;
    bytes += size;
  }
  return bytes;
}

}  // namespace

int OrvCheck(int argc, char** argv) {
  ProductOptions options;
  bool strict = false;
  VerbOptions table{"check", kHelp};
  table.options = {ValueOption("--order", &options.orderFile, "--order needs a file"), FlagOption("--strict", &strict)};
  table.minArguments = table.maxArguments = 1;
  table.arguments = "one product folder expected";
  std::vector<std::string> args;
  int status = ParseVerbOptions(table, argc, argv, &args);
  if (status >= 0) return status;
  options.dir = args[0];
  options.exactSize = true;
  Diagnostics diags;
  Product product;
  if (ReadProduct(options, &product, &diags) && diags.ErrorCount() == 0) {
    std::string payload = (std::filesystem::path(options.dir) / "payload").string(), tooLarge, error;
    if (!InstallerSizeCheck(product, KitBytes(), kMaxInstallerBytes, &tooLarge, &error))
      diags.Error(payload, 0, 0, error);
    else if (!tooLarge.empty())
      diags.Error(payload, 0, 0, tooLarge);
  }
  diags.Print(stderr);
  bool failed = diags.Failed(strict);
  printf("orv check: %s: %zu files, %zu error(s), %zu warning(s)\n", options.dir.c_str(), product.plan.entries.size(),
         diags.ErrorCount(), diags.WarningCount());
  return failed ? 1 : 0;
}
