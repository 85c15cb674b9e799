#pragma once
// The directories that a previous uninstall script at the same place still lists, read
// by the line rules the uninstaller uses. No platform headers: the directory test is
// passed in.

typedef bool (*DirectoryTest)(const char* path);

// An upper bound of the number of lines text holds (one more than its CRs).
unsigned CountLinesBound(const char* text);

// Cuts text (writable, NUL-terminated: the whole previous script) into lines, skips the
// three header lines, and takes each further line up to a line "." or the end of the text:
// the lines for which isDirectory is true are stored in out, in file order, at most
// capacity of them. Files, shortcuts, the script's own path and lines that no longer exist
// are passed over; the registry and driver sections are not read. Returns the number stored.
unsigned CollectCarriedDirectories(char* text, DirectoryTest isDirectory, const char** out, unsigned capacity);
