// orv: the publisher's command. Parses the verb and hands the rest to it.
#include <stdio.h>
#include <string.h>

#include "tools/orv/verbs.h"

namespace {

const char kHelp[] =
    "Usage: orv VERB [ARGS...]\n"
    "\n"
    "Makes installers for 32-bit Windows from a product folder, with no compiler.\n"
    "\n"
    "  orv build PRODUCT_DIR -o setup.exe   check the product, pack it, write the installer\n"
    "  orv check PRODUCT_DIR                everything build checks, nothing written\n"
    "  orv inspect setup.exe                what an installer carries, verified\n"
    "  orv pack PAYLOAD_DIR OUT_DIR         only the file list and payload stream\n"
    "  orv try setup.exe                    install and uninstall it under Wine, judged\n"
    "  orv --version                        the kit's version, its stub's and uninstaller's\n"
    "\n"
    "`orv VERB --help` explains each verb. Findings are reported on stderr as\n"
    "FILE:LINE: error: ... and FILE:LINE: warning: ...\n"
    "Exit status: 0 done, 1 refused or failed, 2 wrong usage.\n";

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    fputs("orv: usage: orv VERB [ARGS...] (see orv --help)\n", stderr);
    return 2;
  }
  const char* verb = argv[1];
  if (!strcmp(verb, "--help") || !strcmp(verb, "-h") || !strcmp(verb, "help")) {
    fputs(kHelp, stdout);
    return 0;
  }
  if (!strcmp(verb, "--version")) return OrvVersion(argc - 2, argv + 2);
  int n = argc - 2;
  char** rest = argv + 2;
  if (!strcmp(verb, "build")) return OrvBuild(n, rest);
  if (!strcmp(verb, "check")) return OrvCheck(n, rest);
  if (!strcmp(verb, "inspect")) return OrvInspect(n, rest);
  if (!strcmp(verb, "pack")) return OrvPack(n, rest);
  if (!strcmp(verb, "try")) return OrvTry(n, rest);
  if (!strcmp(verb, "resources")) return OrvResources(n, rest);
  fprintf(stderr, "orv: unknown verb %s (see orv --help)\n", verb);
  return 2;
}
