#pragma once
// The checks before shipping of a product's install script and licence: each is read as the
// installer will read it, and what the installer would refuse, misread, cut or never read is
// reported against the publisher's file, line and column.
//
// Characters: the text is made into Windows code page 1252 (see
// tools/script_check/text_1252.h for how UTF-8 and 1252 input are told apart: valid UTF-8
// holding non-ASCII characters is converted, anything else is taken as 1252 bytes). Line
// ends: CR LF; LF alone is converted with one warning, a CR without LF is an error. Line
// numbers are those of the script as the installer reads it, which after that conversion
// are the lines the publisher's editor shows.
//
// Where the checks need the length of a machine's directory they assume one of usual
// length: "C:\Program Files\" for the Program Files directory, "C:\WINDOWS" for the Windows
// directory, and "C:\Users\Administrator\AppData\Roaming\Microsoft\Windows\Start Menu\Programs\"
// for the Start menu's Programs folder.
#include <string>
#include <vector>

#include "tools/script_check/diagnostics.h"
#include "tools/payload/pack.h"

// *normalised is set whether or not errors are reported; the caller decides from diags.
//
// Checks the install script as the installer will read it and returns in *normalised the
// bytes to ship (code page 1252, CR LF). fileName is how diagnostics name it ("SCRIPT").
// payload: the packed files (names with backslashes), for shortcut/driver/option targets.
void CheckScript(const std::string& raw, const std::vector<PackEntry>& payload, const std::string& fileName,
                 std::string* normalised, Diagnostics* diags);
// The licence: code page 1252, CR LF, ending with CR LF.
void CheckLicence(const std::string& raw, const std::string& fileName, std::string* normalised, Diagnostics* diags);
