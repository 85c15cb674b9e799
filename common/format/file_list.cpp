#include "common/format/file_list.h"

#include "common/format/version.h"

namespace {

const char* Find(const char* p, const char* end, char c) {
  for (; p < end; p++) {
    if (*p == c) return p;
  }
  return nullptr;
}

// The next comma-separated field of [*p, end): a run of commas is one separator and leading
// commas are skipped. False when no field is left.
bool NextField(const char** p, const char* end, const char** field, size_t* length) {
  const char* s = *p;
  while (s < end && *s == ',') s++;
  if (s == end) return false;
  const char* e = s;
  while (e < end && *e != ',') e++;
  *field = s;
  *length = (size_t)(e - s);
  *p = e;
  return true;
}

}  // namespace

unsigned ParseHex8(const char* field, size_t length) {
  if (length != 8) return 0;
  unsigned value = 0;
  for (size_t i = 0; i < 8; i++) {
    char c = field[i];
    unsigned digit = 0;
    if (c >= '0' && c <= '9') digit = (unsigned)(c - '0');
    else if (c >= 'A' && c <= 'F') digit = (unsigned)(c - 'A' + 10);
    value = value << 4 | digit;
  }
  return value;
}

int ParseFileEntry(const char* line, size_t length, FileEntry* entry) {
  const char* end = line + length;
  const char* comma = Find(line, end, ',');
  if (!comma) return kFileLineNoComma;
  entry->name = line;
  entry->nameLength = (unsigned)(comma - line);
  entry->hasVersion = false;
  entry->hasTime = false;
  for (int i = 0; i < 4; i++) entry->version[i] = 0;
  entry->timeLow = entry->timeHigh = 0;

  const char* rest = comma + 1;
  const char* point = Find(rest, end, '.');
  const char* field;
  size_t fieldLength;
  if (point) {
    entry->size = ReadDecimalInt(rest, point);
    const char* p = point + 1;
    if (!NextField(&p, end, &field, &fieldLength)) return kFileLineNoTimeLow;
    entry->timeLow = ParseHex8(field, fieldLength);
    if (!NextField(&p, end, &field, &fieldLength)) return kFileLineNoTimeHigh;
    entry->timeHigh = ParseHex8(field, fieldLength);
    entry->hasTime = entry->timeLow != 0 && entry->timeHigh != 0;
    return 0;
  }

  const char* p = rest;
  if (!NextField(&p, end, &field, &fieldLength)) return kFileLineNoSize;
  entry->size = ReadDecimalInt(field, field + fieldLength);
  if (entry->size <= 0) return kFileLineBadSize;
  int numbers = 0;
  while (numbers < 4 && NextField(&p, end, &field, &fieldLength)) {
    entry->version[numbers++] = ReadDecimalUnsigned(field, field + fieldLength);
  }
  entry->hasVersion = numbers == 4;
  return 0;
}

void FileListBegin(const char* resource, size_t size, FileListCursor* cursor) {
  const char* end = Find(resource, resource + size, '\0');
  if (!end) end = resource + size;
  if (end - resource >= 2 && end[-1] == '\n' && end[-2] == '\r') end--;
  cursor->next = resource;
  cursor->end = end;
}

bool FileListNextLine(FileListCursor* cursor, const char** line, size_t* length) {
  const char* s = cursor->next;
  if (!s) return false;
  const char* cr = Find(s, cursor->end, '\r');
  *line = s;
  if (!cr) {
    *length = (size_t)(cursor->end - s);
    cursor->next = nullptr;
    return true;
  }
  *length = (size_t)(cr - s);
  const char* after = cr + 1;
  if (after < cursor->end && *after == '\n') after++;
  cursor->next = after < cursor->end ? after : nullptr;
  return true;
}

int CheckEntryInPayload(unsigned offset, int size, unsigned payloadSize) {
  if (size < 0 || offset > payloadSize || (unsigned)size > payloadSize - offset) return kFileSizesBeyondPayload;
  return 0;
}

int CheckFileListSizes(const char* resource, size_t size, unsigned payloadSize) {
  FileListCursor cursor;
  FileListBegin(resource, size, &cursor);
  unsigned long long total = 0;
  const char* line;
  size_t length;
  while (FileListNextLine(&cursor, &line, &length)) {
    FileEntry entry;
    if (ParseFileEntry(line, length, &entry) != 0) return 0;
    if (entry.size < 0) return kFileSizesBeyondPayload;
    total += (unsigned)entry.size;
    if (total > payloadSize) return kFileSizesBeyondPayload;
  }
  return total == payloadSize ? 0 : kFileSizesBeyondPayload;
}

namespace {

char FoldLetter(char c) { return c >= 'a' && c <= 'z' ? (char)(c - 'a' + 'A') : c; }

bool SameName(const FileEntry& entry, const char* name) {
  unsigned i = 0;
  for (; i < entry.nameLength; i++) {
    if (!name[i] || FoldLetter(entry.name[i]) != FoldLetter(name[i])) return false;
  }
  return name[i] == 0;
}

}  // namespace

bool FindFileEntry(const char* resource, size_t size, const char* name, FileEntry* entry, unsigned* offset) {
  FileListCursor cursor;
  FileListBegin(resource, size, &cursor);
  unsigned at = 0;
  const char* line;
  size_t length;
  while (FileListNextLine(&cursor, &line, &length)) {
    if (ParseFileEntry(line, length, entry) != 0 || entry->size < 0) return false;
    if (SameName(*entry, name)) {
      *offset = at;
      return true;
    }
    at += (unsigned)entry->size;
  }
  return false;
}
