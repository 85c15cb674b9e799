#pragma once
// The file list (resource FILELIST): one line per payload file, in payload order.
//
//   name,size,a,b,c,d              version form: the file's version a.b.c.d
//   name,size.LLLLLLLL,HHHHHHHH    time form: the low and high halves of its last-write time
//
// The name is everything before the first comma; the rest is the time form when it holds a
// '.' anywhere, else the version form. Lines end at CR, one LF after the CR being skipped.
// Pure logic over spans of the read-only resource: nothing is written and nothing is read
// outside the span given.
#include <stddef.h>

// What reading a line or checking the sizes finds. Every outcome but kFileLineRead is a fault
// of the list, and its value is the number the installer reports it with (its table of result
// numbers names them kFileListNoComma to kFileListBadSize and kFileListBeyondPayload; its file
// loop checks at compile time that the two agree), so that an outcome is reported as it is.
enum FileListOutcome {
  kFileLineRead = 0,
  kFileLineNoComma = 12,     // a line without a comma (an empty line included)
  kFileLineNoTimeLow = 13,   // time form: no field after the '.'
  kFileLineNoTimeHigh = 14,  // time form: no second field after the '.'
  kFileLineNoSize = 15,      // version form: no size field
  kFileLineBadSize = 16,     // version form: a size of 0 or less
  kFileSizesBeyondPayload = 71,  // the sizes do not fit the payload (or one is negative)
};

struct FileEntry {
  const char* name;  // a view into the line, not terminated
  unsigned nameLength;
  int size;
  bool hasVersion;  // all four numbers were present
  unsigned version[4];
  bool hasTime;     // both halves were present and non-zero
  unsigned timeLow, timeHigh;
};

// The eight-digit hexadecimal field: a field of any length but 8 gives 0; otherwise the
// digits are read most significant first, 0-9 and A-F, every other character (lower-case
// letters included) counting as the digit 0.
unsigned ParseHex8(const char* field, size_t length);

// Parses one line (without its line end) into entry: kFileLineRead (0), or kFileLineNoComma
// to kFileLineBadSize.
int ParseFileEntry(const char* line, size_t length, FileEntry* entry);

// Walks the lines of the file list.
struct FileListCursor {
  const char* next;  // start of the next line, or null after the last one
  const char* end;
};

// The text of the list is the resource up to its first NUL byte, less the last byte when that
// byte is the LF of a final CR LF (a last line without a line end keeps all its characters).
void FileListBegin(const char* resource, size_t size, FileListCursor* cursor);

// Gives the next line without its line end; false after the last line. A text that holds
// no line end is one line, and so is an empty text (which then fails to parse).
bool FileListNextLine(FileListCursor* cursor, const char** line, size_t* length);

// Whether an entry of size bytes at offset lies inside a payload of payloadSize bytes:
// 0, or kFileSizesBeyondPayload (also for a negative size).
int CheckEntryInPayload(unsigned offset, int size, unsigned payloadSize);

// Whether the file list's sizes fit a payload of payloadSize bytes, before any file is
// written: 0, or kFileSizesBeyondPayload when a size is negative or the sizes add up to more
// than the payload, or, for a list whose every line parses, to anything but the payload's
// length. A malformed line ends the walk without a judgement of its own: the file loop
// reports it when it gets there, after the entries before it.
int CheckFileListSizes(const char* resource, size_t size, unsigned payloadSize);

// Finds the entry whose name equals name (ASCII letters in either case), and the offset of
// its bytes in the payload. False when no well-formed line before the first malformed one
// has that name.
bool FindFileEntry(const char* resource, size_t size, const char* name, FileEntry* entry, unsigned* offset);
