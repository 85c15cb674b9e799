// orv pack (also the command orv-pack): a product's FILELIST and DATA from its payload folder.
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "tools/orv_verbs.h"
#include "tools/pack.h"

namespace {

const char kHelp[] =
    "Usage: orv pack [--order FILE] PAYLOAD_DIR OUT_DIR   (also: orv-pack ...)\n"
    "\n"
    "Makes the file list and the payload stream of a product's installer from the files\n"
    "under PAYLOAD_DIR, and writes them as OUT_DIR/FILELIST and OUT_DIR/DATA.\n"
    "\n"
    "FILELIST holds one line per file, each ending with CR LF, in payload order:\n"
    "  name,size,a,b,c,d            for a file whose version resource has a FileVersion\n"
    "                               string in the \"080904B0\" or \"040904B0\" table: the\n"
    "                               installer keeps an installed copy of higher version\n"
    "  name,size.LLLLLLLL,HHHHHHHH  for every other file: its modification time as a\n"
    "                               FILETIME, low and high halves in upper-case hexadecimal;\n"
    "                               the installer keeps an installed copy that is not older\n"
    "Names are relative to PAYLOAD_DIR, with backslashes between directory names.\n"
    "DATA is the contents of all files, back to back in file-list order, as one SZDD stream.\n"
    "\n"
    "--order FILE  names the files that come first, in this order, one relative name a line\n"
    "              ('/' or '\\' between directory names; blank lines and lines beginning\n"
    "              with '#' are ignored). The other files follow, sorted by name.\n"
    "\n"
    "Refused, with a message and exit status 1, is what the installer cannot take: a name\n"
    "with a comma, a control character, a character beyond ASCII or one that Windows does\n"
    "not allow; a name longer than 200 characters (the installation directory and the name\n"
    "share the installer's 259-character paths); a name that leaves the payload directory\n"
    "(\"..\", or a link leading elsewhere); two names that differ only in case; an empty\n"
    "file in the version form; a file over 2147483647 bytes; no files, or only empty ones.\n"
    "The outputs are written whole or not at all: nothing is changed when anything fails.\n"
    "\n"
    "Exit status: 0 done, 1 refused or failed, 2 wrong usage.\n";

int Usage(const char* program) {
  fprintf(stderr, "%s: usage: %s [--order FILE] PAYLOAD_DIR OUT_DIR (see --help)\n", program, program);
  return 2;
}

}  // namespace

int OrvPack(int argc, char** argv, const char* program) {
  std::string orderFile;
  std::vector<std::string> args;
  for (int i = 0; i < argc; i++) {
    if (!strcmp(argv[i], "--help") || !strcmp(argv[i], "-h")) {
      fputs(kHelp, stdout);
      return 0;
    }
    if (!strcmp(argv[i], "--order")) {
      if (++i == argc) return Usage(program);
      orderFile = argv[i];
    } else if (argv[i][0] == '-' && argv[i][1]) {
      fprintf(stderr, "%s: unknown option %s\n", program, argv[i]);
      return Usage(program);
    } else {
      args.push_back(argv[i]);
    }
  }
  if (args.size() != 2) return Usage(program);

  std::vector<std::string> order;
  if (!orderFile.empty()) {
    FILE* f = fopen(orderFile.c_str(), "rb");
    if (!f) {
      fprintf(stderr, "%s: %s: cannot be read\n", program, orderFile.c_str());
      return 1;
    }
    std::string text;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
    fclose(f);
    order = ParseOrderList(text);
  }

  PackResult result;
  std::string error;
  if (!Pack(args[0], order, &result, &error) || !WritePackOutputs(args[1], result, &error)) {
    fprintf(stderr, "%s: refused: %s\n", program, error.c_str());
    return 1;
  }
  size_t expanded = 0;
  for (const PackEntry& e : result.entries) expanded += e.size;
  printf("%s: %zu files, %zu bytes, DATA %zu bytes\n", program, result.entries.size(), expanded, result.data.size());
  return 0;
}
