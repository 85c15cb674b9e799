// orv build --sign: the publisher's signing command run on the uninstaller and the installer.
#include "tools/orv/sign.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>
#ifndef _WIN32
#include <sys/wait.h>
#endif

#include <string>
#include <vector>

#include "tools/host/mapped_file.h"
#include "tools/orv/product.h"
#include "tools/host/files.h"
#include "tools/payload/pack.h"
#include "tools/pe/pe_image.h"

namespace {

std::string Quoted(const std::string& path) {
#ifdef _WIN32
  return "\"" + path + "\"";  // cmd.exe: a path cannot hold '"'
#else
  std::string q = "'";
  for (char c : path) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
#endif
}

// system() with the command's standard output sent to stderr, so that orv's own output is
// what stdout shows.
int SystemToStderr(const std::string& line) {
  fflush(stdout);
  fflush(stderr);
  int saved = dup(1);
  if (saved >= 0) dup2(2, 1);
  int rc = system(line.c_str());
  if (saved >= 0) {
    dup2(saved, 1);
    close(saved);
  }
  return rc;
}

// The command run; false with *error when it could not be started or did not exit with 0.
bool RunCommand(const std::string& line, std::string* error) {
#ifdef _WIN32
  int rc = SystemToStderr("\"" + line + "\"");  // cmd /c drops the outer quotes
  if (rc == 0) return true;
  *error = "the signing command failed (exit status " + std::to_string(rc) + "): " + line;
#else
  int rc = SystemToStderr(line);
  if (rc != -1 && WIFEXITED(rc) && WEXITSTATUS(rc) == 0) return true;
  if (rc == -1) *error = std::string("the signing command cannot be run: ") + strerror(errno);
  else if (WIFEXITED(rc))
    *error = "the signing command failed (exit status " + std::to_string(WEXITSTATUS(rc)) + "): " + line;
  else *error = "the signing command was ended by a signal: " + line;
#endif
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
      line += Quoted(in);
      i += 4;
    } else if (command.compare(i, 5, "{out}") == 0) {
      line += Quoted(out);
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
