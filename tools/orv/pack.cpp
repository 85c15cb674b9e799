// orv pack: a product's FILELIST and DATA from its payload folder.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tools/orv/options.h"
#include "tools/orv/verbs.h"
#include "tools/payload/pack.h"

namespace {

const char kHelp[] =
    "Usage: orv pack [--order FILE] [--threads N] [--best] PAYLOAD_DIR OUT_DIR\n"
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
    "--threads N   parse the payload on N threads (default: one per core). The payload is\n"
    "              read and the stream written as it is made, in bounded memory.\n"
    "--best        the exact optimum of the whole stream instead of the block parse (some\n"
    "              bytes smaller; slower, and memory in proportion to the payload).\n"
    "\n"
    "Refused, with a message and exit status 1, is what the installer cannot take: a name\n"
    "with a comma, a control character, a character beyond ASCII or one that Windows does\n"
    "not allow; a name longer than 200 characters (the installation directory and the name\n"
    "share the installer's 259-character paths); a name that leaves the payload directory\n"
    "(\"..\", or a link leading elsewhere, nowhere, or round in a loop; links that stay\n"
    "inside are followed); a name holding '\\'; two names that differ only in case; an\n"
    "empty file in the version form; a file over 2147483647 bytes; a file time before 1601;\n"
    "no files, or only empty ones. A file time whose low half is 0, which the installer\n"
    "reads as no time, is moved one 100-ns tick later with a warning.\n"
    "The outputs are written whole or not at all: nothing is changed when anything fails.\n"
    "\n"
    "Exit status: 0 done, 1 refused or failed, 2 wrong usage.\n";

const char kUsage[] = "orv pack: usage: orv pack [--order FILE] [--threads N] [--best] PAYLOAD_DIR OUT_DIR (see --help)";

// --threads N: 1 to 64.
bool ReadThreads(const std::string& text, unsigned* threads) {
  char* end = nullptr;
  long n = strtol(text.c_str(), &end, 10);
  if (*end || n < 1 || n > 64) return false;
  *threads = (unsigned)n;
  return true;
}

}  // namespace

int OrvPack(int argc, char** argv) {
  const char* program = "orv pack";
  std::string orderFile, threads;
  PackOptions options;
  VerbOptions table{"pack", kHelp};
  table.options = {ValueOption("--order", &orderFile, nullptr),
                   ValueOption("--threads", &threads, nullptr,
                               [&](const std::string& n) {
                                 return ReadThreads(n, &options.threads) ? "" : "--threads takes 1 to 64";
                               }),
                   FlagOption("--best", &options.best)};
  table.minArguments = table.maxArguments = 2;
  table.usage = kUsage;
  std::vector<std::string> args;
  int status = ParseVerbOptions(table, argc, argv, &args);
  if (status >= 0) return status;

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

  PackPlan plan;
  std::string error;
  if (!PlanPack(args[0], order, &plan, &error) || !WritePlannedOutputs(args[1], plan, options, &error)) {
    fprintf(stderr, "%s: error: %s\n", args[0].c_str(), error.c_str());
    return 1;
  }
  for (const std::string& w : plan.warnings) fprintf(stderr, "%s: warning: %s\n", args[0].c_str(), w.c_str());
  std::error_code ec;
  uintmax_t size = std::filesystem::file_size(args[1] + "/DATA", ec);  // 64 bits on Windows too
  long long dataSize = ec ? -1 : (long long)size;
  printf("%s: %zu files, %llu bytes, DATA %lld bytes\n", program, plan.entries.size(),
         (unsigned long long)plan.dataSize, dataSize);
  return 0;
}
