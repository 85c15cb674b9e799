// orv check: everything `orv build` checks, nothing written.
#include <stdio.h>

#include <string>
#include <vector>

#include "tools/orv/product.h"
#include "tools/orv/verbs.h"

namespace {

const char kHelp[] =
    "Usage: orv check PRODUCT_DIR [--order FILE] [--strict]\n"
    "\n"
    "Checks a product folder (SCRIPT, LICENCE, payload/, optional ORDER) as `orv build`\n"
    "does, and writes nothing: the install script item by item as the installer will read\n"
    "it, the licence, and every payload file. Each finding is reported on stderr as\n"
    "FILE:LINE: error: ... or FILE:LINE: warning: ...\n"
    "\n"
    "  --order FILE  instead of PRODUCT_DIR/ORDER\n"
    "  --strict      warnings count as errors\n"
    "\n"
    "Exit status: 0 no errors, 1 errors found, 2 wrong usage.\n";

}  // namespace

int OrvCheck(int argc, char** argv) {
  ProductOptions options;
  bool strict = false;
  std::vector<std::string> args;
  for (int i = 0; i < argc; i++) {
    std::string a = argv[i];
    if (a == "--help" || a == "-h") {
      fputs(kHelp, stdout);
      return 0;
    } else if (a == "--order") {
      if (i + 1 == argc) return UsageError("check", "--order needs a file");
      options.orderFile = argv[++i];
    } else if (a == "--strict") {
      strict = true;
    } else if (a.size() > 1 && a[0] == '-') {
      return UsageError("check", "unknown option " + a);
    } else {
      args.push_back(a);
    }
  }
  if (args.size() != 1) return UsageError("check", "one product folder expected");
  options.dir = args[0];
  Diagnostics diags;
  Product product;
  ReadProduct(options, &product, &diags);
  diags.Print(stderr);
  bool failed = diags.Failed(strict);
  printf("orv check: %s: %zu files, %zu error(s), %zu warning(s)\n", options.dir.c_str(), product.plan.entries.size(),
         diags.ErrorCount(), diags.WarningCount());
  return failed ? 1 : 0;
}
