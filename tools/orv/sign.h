#pragma once
// Signing inside `orv build`: a command given by the publisher ("COMMAND {in} {out}") run on
// the uninstaller before it is embedded and on the finished installer.
#include <stdint.h>

#include <string>
#include <vector>

struct InstallerPlan;

// Why a signing command cannot be used ("" when it can): it must name {in} and {out}.
std::string CheckSignCommand(const std::string& command);

// The command line run for the template: each {in} and {out} replaced by the path quoted for
// the shell (/bin/sh; cmd.exe on Windows).
std::string SignCommandLine(const std::string& command, const std::string& in, const std::string& out);

// The uninstaller signed: written to a temporary file beside `near` (a path whose directory
// is used), the command run, its output read back and its PE checksum set. The temporary
// files are removed whatever happens; *bytes is changed only on success.
bool SignBytes(const std::string& command, const std::string& near, std::vector<uint8_t>* bytes, std::string* error);

// The planned installer written to a temporary file, signed by the command into another, its
// PE checksum set, and renamed to path. Nothing is left at path or beside it on failure.
// *size: the bytes of the signed installer.
bool WriteSignedInstaller(const InstallerPlan& plan, const std::string& command, const std::string& path,
                          uint64_t* size, std::string* error);
