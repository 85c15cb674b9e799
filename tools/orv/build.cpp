// orv build: a product folder checked, packed and written into a copy of the stub.
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "tools/host/process.h"
#include "tools/orv/options.h"
#include "tools/orv/product.h"
#include "tools/orv/sign.h"
#include "tools/payload/limits.h"
#include "tools/orv/verbs.h"

namespace {

const char kHelp[] =
    "Usage: orv build PRODUCT_DIR -o SETUP.EXE [--stub FILE] [--uninstaller FILE]\n"
    "                 [--order FILE] [--sign 'COMMAND {in} {out}'] [-q] [--strict]\n"
    "\n"
    "Makes a product's installer. PRODUCT_DIR holds:\n"
    "  SCRIPT     the install script\n"
    "  LICENCE    the licence text\n"
    "  payload/   the files as they are to be installed\n"
    "  ORDER      optional: the files that come first in the payload, one a line\n"
    "\n"
    "The product is checked first (as `orv check` does): every error is reported as\n"
    "FILE:LINE: error: ... and nothing is written; warnings are reported and the build goes\n"
    "on. Then the payload is packed and the installer is written: a copy of the stub with\n"
    "the FILES resources SCRIPT, LICENCE, FILELIST, DATA, UNINSTALL and CHECKSUM written\n"
    "into it. The installer is written whole or not at all (a temporary name, then renamed).\n"
    "The same inputs give the same bytes; the PE time stamp is SOURCE_DATE_EPOCH, else 0.\n"
    "\n"
    "  -o FILE            the installer to write (not inside the payload folder)\n"
    "  --stub FILE        the installer stub (default: the kit's install_stub.exe)\n"
    "  --uninstaller FILE the uninstaller it carries (default: the kit's uninstall.exe)\n"
    "  --order FILE       instead of PRODUCT_DIR/ORDER\n"
    "  --sign COMMAND     sign with COMMAND (run by the shell, {in} and {out} replaced by\n"
    "                     the file to sign and the file to write): the uninstaller before\n"
    "                     it is embedded, and the finished installer. When a signing fails\n"
    "                     nothing is written. orv sets the PE checksum of what it signed.\n"
    "  -q                 no progress line and no summary\n"
    "  --strict           warnings count as errors\n"
    "\n"
    "Exit status: 0 written, 1 refused or failed, 2 wrong usage.\n";

struct Progress {
  size_t files;
  uint64_t bytes;
};

void ShowProgress(void* context, size_t filesDone, uint64_t bytesDone) {
  const Progress* p = static_cast<const Progress*>(context);
  fprintf(stderr, "\rorv build: packing %zu/%zu files, %llu/%llu MB", filesDone, p->files,
          (unsigned long long)(bytesDone >> 20), (unsigned long long)(p->bytes >> 20));
  fflush(stderr);
}

bool FileSize(const std::string& path, uint64_t* size, std::string* error) {
  std::error_code ec;
  *size = std::filesystem::file_size(path, ec);
  if (ec) *error = path + ": cannot be read: " + ec.message();
  return !ec;
}

}  // namespace

int OrvBuild(int argc, char** argv) {
  ProductOptions options;
  std::string stubPath, uninstallerPath, sign;
  bool quiet = false, strict = false;
  VerbOptions table{"build", kHelp};
  table.options = {ValueOption("-o|--output", &options.output, "-o needs a file"),
                   ValueOption("--stub", &stubPath, "--stub needs a file"),
                   ValueOption("--uninstaller", &uninstallerPath, "--uninstaller needs a file"),
                   ValueOption("--order", &options.orderFile, "--order needs a file"),
                   ValueOption("--sign", &sign, "--sign needs a command", CheckSignCommand),
                   FlagOption("-q|--quiet", &quiet), FlagOption("--strict", &strict)};
  table.minArguments = table.maxArguments = 1;
  table.arguments = "one product folder expected";
  std::vector<std::string> args;
  int status = ParseVerbOptions(table, argc, argv, &args);
  if (status >= 0) return status;
  if (options.output.empty()) return UsageError("build", "-o SETUP.EXE is required");
  options.dir = args[0];
  if (stubPath.empty()) stubPath = KitFile("install_stub.exe");
  if (uninstallerPath.empty()) uninstallerPath = KitFile("uninstall.exe");

  Diagnostics diags;
  Product product;
  ReadProduct(options, &product, &diags);
  std::vector<uint8_t> stub, uninstaller;
  std::string error;
  if (stubPath.empty()) diags.Error("orv", 0, 0, "no stub: the kit's install_stub.exe was not found; give --stub FILE");
  else if (!ReadFileBytes(stubPath, &stub, &error)) diags.Error(stubPath, 0, 0, "cannot be read");
  if (uninstallerPath.empty())
    diags.Error("orv", 0, 0, "no uninstaller: the kit's uninstall.exe was not found; give --uninstaller FILE");
  else if (!ReadFileBytes(uninstallerPath, &uninstaller, &error)) diags.Error(uninstallerPath, 0, 0, "cannot be read");
  uint32_t stamp = 0;
  if (!ReproducibleTimeStamp(&stamp, &error)) diags.Error("orv", 0, 0, error);
  diags.Print(stderr);
  if (diags.Failed(strict)) {
    fprintf(stderr, "orv build: %zu error(s), %zu warning(s); nothing written\n", diags.ErrorCount(),
            diags.WarningCount());
    return 1;
  }

  if (!sign.empty() && !SignBytes(sign, options.output, &uninstaller, &error)) {
    fprintf(stderr, "%s: error: %s; nothing written\n", uninstallerPath.c_str(), error.c_str());
    return 1;
  }

  PackOptions pack;
  Progress progress{product.plan.entries.size(), product.plan.dataSize};
  bool tty = !quiet && ErrorsToTerminal();
  if (tty) {
    pack.progress = ShowProgress;
    pack.progressContext = &progress;
  }
  // DATA stays in its temporary file: its CRC is read from there, and the installer is
  // written with DATA copied from there in chunks, so memory does not grow with the payload.
  std::string dataTemp = options.output + ".orv-data" + std::to_string(getpid());
  const std::string& list = product.plan.fileList;
  std::string checksum;
  uint64_t dataSize = 0;
  bool packed = WritePackData(product.plan, pack, dataTemp, &error) && FileSize(dataTemp, &dataSize, &error) &&
                FilesChecksumOfFile(list, dataTemp, dataSize, &checksum, &error);
  if (tty) fputs("\n", stderr);
  if (!packed) {
    unlink(dataTemp.c_str());
    fprintf(stderr, "%s: error: %s\n", options.dir.c_str(), error.c_str());
    return 1;
  }

  std::vector<FilesItem> files = InstallerFiles(product.script, product.licence, list, dataTemp, dataSize,
                                               std::move(uninstaller), checksum);
  std::string tooLarge = InstallerSizeError(InstallerBytes(stub.size(), files));
  if (!tooLarge.empty()) {
    unlink(dataTemp.c_str());
    fprintf(stderr, "%s: error: %s\n", options.dir.c_str(), tooLarge.c_str());
    return 1;
  }
  InstallerPlan plan;
  if (!PlanInstaller(stub, files, stamp, &plan, &error)) {
    unlink(dataTemp.c_str());
    fprintf(stderr, "%s: error: %s\n", stubPath.c_str(), error.c_str());
    return 1;
  }
  uint64_t size = 0;
  bool written = sign.empty() ? WriteInstaller(plan, options.output, &size, &error)
                              : WriteSignedInstaller(plan, sign, options.output, &size, &error);
  unlink(dataTemp.c_str());
  if (!written) {
    fprintf(stderr, "%s: error: %s\n", options.output.c_str(), error.c_str());
    return 1;
  }
  if (!quiet)
    printf("orv build: wrote %s: %zu files, %llu bytes of payload, %llu bytes\n", options.output.c_str(),
           product.plan.entries.size(), (unsigned long long)product.plan.dataSize, (unsigned long long)size);
  return 0;
}
