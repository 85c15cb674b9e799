#pragma once
// The directories that a previous uninstall script at the same place still lists, read
// by the line rules the uninstaller uses. No platform headers: the directory test is
// passed in.

#include <stdint.h>

typedef bool (*DirectoryTest)(const char* path);

// The heap requests of the carry-over, in the 32 bits of the program's address space: the
// previous script's text with its NUL (fileSize + 1), and the list of pointers to its lines
// (lineBound * pointerSize). False, and nothing carried over, when a size does not fit.
bool CarriedTextBytes(uint32_t fileSize, uint32_t* bytes);
bool CarriedListBytes(uint32_t lineBound, uint32_t pointerSize, uint32_t* bytes);

// An upper bound of the number of lines text holds (one more than its CRs).
unsigned CountLinesBound(const char* text);

// Cuts text (writable, NUL-terminated: the whole previous script) into lines, skips the
// three header lines, and takes each further line up to a line "." or the end of the text:
// the lines for which isDirectory is true are stored in out, in file order, at most
// capacity of them. Files, shortcuts, the script's own path and lines that no longer exist
// are passed over; the registry and driver sections are not read. Returns the number stored.
unsigned CollectCarriedDirectories(char* text, DirectoryTest isDirectory, const char** out, unsigned capacity);

// Whether an earlier installation into installDir (ending with "\\") can have recorded the
// directory line: installDir itself or a directory below it, one of its ancestors (levels an
// earlier run created), or a folder below the Programs folder programs (without a final
// "\\"; NULL or empty when unknown). Letters compare without regard to case (ASCII). A line
// shorter than a drive's first level ("C:\\a"), with a "/", or with a part made only of
// dots and blanks ("..", ".") is never carried over: it could name something elsewhere.
bool MayCarryOver(const char* line, const char* installDir, const char* programs);

// Keeps, in order, the first n entries of dirs for which MayCarryOver holds; returns how many.
unsigned KeepCarriable(const char** dirs, unsigned n, const char* installDir, const char* programs);
