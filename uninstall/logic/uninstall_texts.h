#pragma once
// The texts the uninstaller puts together from the command line, the script's lines and the
// Windows directory. None of them is bounded by the platform's 260-byte path buffers: each
// has a length function (characters, without the terminator) and a builder that writes the
// text and its terminator into a buffer of `capacity` bytes. A builder that would not fit
// writes an empty text (when capacity allows) and returns false; it never writes past the
// buffer.
#include <stddef.h>

// "Are you sure that you want to uninstall " product " " version "?"
size_t ConfirmationLength(const char* product, const char* version);
bool BuildConfirmation(char* out, size_t capacity, const char* product, const char* version);

// "Error: could not open the uninstall file:\r\n" path
size_t OpenFailureLength(const char* path);
bool BuildOpenFailure(char* out, size_t capacity, const char* path);

// windowsDir, "\" unless it ends with one, "System32\Drivers\", name, ".sys"
size_t DriverFilePathLength(const char* windowsDir, const char* name);
bool BuildDriverFilePath(char* out, size_t capacity, const char* windowsDir, const char* name);

// "System\CurrentControlSet\Services\" name, below HKEY_LOCAL_MACHINE
size_t ServiceKeyPathLength(const char* name);
bool BuildServiceKeyPath(char* out, size_t capacity, const char* name);

// The closing message: "Partial uninstallation complete." or "Uninstallation complete.",
// followed by the restart request when restart is set. Static text.
const char* ClosingMessage(bool partial, bool restart);

// The texts built after the script has been read are made of script lines (together no
// longer than the script) and at most kTextSlack further bytes: fixed words, a Windows
// directory of up to 259 characters and the terminator. So one buffer of the script's size
// plus kTextSlack holds any of them.
const size_t kTextSlack = 320;

// The bytes to allocate for a script of fileSize bytes: the text, its NUL, and the text
// buffer behind it. False when the sum does not fit a size_t.
bool ScriptAllocationSize(size_t fileSize, size_t* total);
