// orv build --sign: the publisher's signing command run on the uninstaller and the installer.
#include "tools/orv/sign.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tools/host/mapped_file.h"
#include "tools/orv/product.h"
#include "tools/host/files.h"
#include "tools/host/process.h"
#include "tools/payload/pack.h"
#include "tools/pe/pe_image.h"

namespace {

// The command run; false with *error when it could not be started or did not exit with 0.
bool RunCommand(const std::string& line, std::string* error) {
  ShellOutcome run = RunShell(line);
  if (run.started && !run.signalled && run.status == 0) return true;
  if (!run.started) *error = "the signing command cannot be run: " + run.error;
  else if (!run.signalled)
    *error = "the signing command failed (exit status " + std::to_string(run.status) + "): " + line;
  else *error = "the signing command was ended by a signal: " + line;
  return false;
}

// Temporary names beside `near`, ending in .exe (signing tools go by the name).
std::string TempName(const std::string& near, const char* what) {
  return near + ".orv-sign" + std::to_string(getpid()) + "-" + what + ".exe";
}

// Sets the PE checksum of a signed file at checksumOffset (the signature does not cover it),
// summed over the file's mapping. *size: its length.
bool SetFileChecksum(const std::string& path, size_t checksumOffset, uint64_t* size, std::string* error) {
  uint32_t checksum = 0;
  {
    MappedFile image;
    if (!image.Open(path, error)) return false;
    *size = image.size();
    const uint8_t* bytes = image.data();
    if (image.size() < checksumOffset + 4 || bytes[0] != 'M' || bytes[1] != 'Z') {
      *error = path + ": the signing command did not write a PE image";
      return false;
    }
    PeChecksumSum sum(checksumOffset);
    sum.Add(bytes, image.size());
    checksum = sum.Finish();
  }
  FILE* f = fopen(path.c_str(), "r+b");
  uint8_t field[4];
  PutU32(field, checksum);
  bool ok = f && fseek(f, (long)checksumOffset, SEEK_SET) == 0 && fwrite(field, 1, 4, f) == 4 && FlushToDisk(f);
  if (f && fclose(f) != 0) ok = false;
  if (!ok) *error = path + ": cannot be written: " + strerror(errno);
  return ok;
}

// Runs the command from in to out and sets out's checksum; out is removed on failure.
bool SignFile(const std::string& command, const std::string& in, const std::string& out, size_t checksumOffset,
              uint64_t* size, std::string* error) {
  unlink(out.c_str());
  bool ok = RunCommand(SignCommandLine(command, in, out), error);
  struct stat st;
  if (ok && stat(out.c_str(), &st) != 0) {
    *error = "the signing command wrote no " + out;
    ok = false;
  }
  ok = ok && SetFileChecksum(out, checksumOffset, size, error);
  if (!ok) unlink(out.c_str());
  return ok;
}

}  // namespace

std::string CheckSignCommand(const std::string& command) {
  if (command.find("{in}") == std::string::npos || command.find("{out}") == std::string::npos)
    return "--sign needs a command that names {in} and {out}";
  return "";
}

std::string SignCommandLine(const std::string& command, const std::string& in, const std::string& out) {
  std::string line;
  for (size_t i = 0; i < command.size();) {
    if (command.compare(i, 4, "{in}") == 0) {
      line += ShellQuoted(in);
      i += 4;
    } else if (command.compare(i, 5, "{out}") == 0) {
      line += ShellQuoted(out);
      i += 5;
    } else {
      line += command[i++];
    }
  }
  return line;
}

bool SignBytes(const std::string& command, const std::string& near, std::vector<uint8_t>* bytes, std::string* error) {
  PeImage pe;
  if (!ParsePe(bytes->data(), bytes->size(), &pe, error)) return false;
  std::string in = TempName(near, "uninstall"), out = TempName(near, "uninstall-signed");
  std::vector<uint8_t> signedBytes;
  uint64_t size = 0;
  bool ok = WriteFileWhole(in, *bytes, false, error) && SignFile(command, in, out, pe.ChecksumOffset(), &size, error) &&
            ReadFileBytes(out, &signedBytes, error);
  unlink(in.c_str());
  unlink(out.c_str());
  if (ok) *bytes = std::move(signedBytes);
  return ok;
}

bool WriteSignedInstaller(const InstallerPlan& plan, const std::string& command, const std::string& path,
                          uint64_t* size, std::string* error) {
  std::string in = TempName(path, "unsigned"), out = TempName(path, "signed");
  uint64_t unsignedSize = 0;
  bool ok = WriteInstaller(plan, in, &unsignedSize, error) &&
            SignFile(command, in, out, plan.checksumOffset, size, error);
  unlink(in.c_str());
  if (ok) chmod(out.c_str(), 0755);
  if (ok && !RenameOver(out, path)) {
    *error = path + ": cannot be written: " + strerror(errno);
    ok = false;
  }
  if (!ok) unlink(out.c_str());
  return ok;
}
