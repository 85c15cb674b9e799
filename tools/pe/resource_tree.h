#pragma once
// A PE image's resources as a flat list (type, name, language, bytes), read from the image's
// resource directory (resource_reader.cpp), changed, laid out as a complete new resource
// section and written back (resource_writer.cpp); host only, pure logic over byte spans.
#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "tools/pe/pe_image.h"

// A resource type or name: a number, or a string (stored in upper case, as the platform's
// look-up converts the name it is asked for).
struct ResourceId {
  bool isName = false;
  uint16_t id = 0;
  std::u16string name;

  static ResourceId Number(uint16_t id);
  static ResourceId Name(const std::string& ascii);
  std::string Text() const;  // "FILES", or "#16"
};

// The directory order: names before numbers, names by UTF-16 code unit, numbers ascending.
bool operator<(const ResourceId& a, const ResourceId& b);
bool operator==(const ResourceId& a, const ResourceId& b);

struct Resource {
  ResourceId type;
  ResourceId name;
  uint16_t language = 0;
  uint32_t codePage = 0;
  std::vector<uint8_t> data;
  // When not "": the content is not held but is the first fileSize bytes of this file,
  // copied when the image is written (see image_stream.h).
  std::string file;
  uint64_t fileSize = 0;

  uint64_t Size() const { return file.empty() ? data.size() : fileSize; }
};

// A part of a new image in file order: bytes held, or (resource not null) the content of a
// resource that names a file.
struct ImagePiece {
  std::vector<uint8_t> bytes;
  const Resource* resource = nullptr;
};

// The high bit of a directory entry's fields: its name is a string, or its target is a
// directory of the next level (else a data entry), at the offset in the other bits.
const uint32_t kResourceSubdirectory = 0x80000000u;

const uint16_t kResourceIcon = 3;
const uint16_t kResourceDialog = 5;
const uint16_t kResourceGroupIcon = 14;
const uint16_t kResourceVersion = 16;
const uint16_t kResourceManifest = 24;

// A resource as it lies in an image: where its bytes are, not a copy of them.
struct ResourceSpan {
  ResourceId type;
  ResourceId name;
  uint16_t language = 0;
  uint32_t codePage = 0;
  size_t offset = 0;  // file offset of its bytes
  uint32_t length = 0;
};

// Where every resource of an image lies, in directory order (the image parsed whole, or
// leniently: the tree and the data are bounded by the file all the same). An image without a
// resource directory gives an empty list. False with *error when the directory is damaged:
// an offset outside the resource section, a tree deeper than type/name/language, data
// outside the file, a directory or data entry reached twice or overlapping another (a
// shared or looping tree), more name characters than the file has bytes. The list thus
// never grows beyond what the resource section's bytes hold.
bool ReadResourceSpans(const uint8_t* data, size_t size, const PeImage& pe, std::vector<ResourceSpan>* out,
                       std::string* error);

// One resource looked up by its path alone: the type by number; the name, then the
// language, the first of those listed present, else the directory's first entry.
struct ResourcePath {
  uint16_t type = 0;
  std::vector<uint16_t> names;
  std::vector<uint16_t> languages;
};

// Finds the resource of that path leniently, for an image parsed with PeParse::kLenient (or
// whole): nothing of the tree but the path is read, so damage elsewhere in it does not hide
// the resource; only numbered entries are matched, each directory's entries in order, up to
// the one chosen; the tree is bounded by the file rather than by its section, and the data
// are placed through the first section whose raw data hold their address, virtual size
// aside, and must lie within the file. False when a step of the path is missing, of the
// wrong kind (a directory where data belong or the other way round) or outside the file.
bool LocateResource(const uint8_t* data, size_t size, const PeImage& pe, const ResourcePath& path, size_t* offset,
                    uint32_t* length);

// The resource of that type and name (any language), or null.
const ResourceSpan* FindResourceSpan(const std::vector<ResourceSpan>& list, const ResourceId& type,
                                     const ResourceId& name);

// Every resource of a parsed image with a copy of its bytes, as ReadResourceSpans finds
// them; also refused when the resources' bytes add up to more than the file's size (data
// entries sharing their bytes), so that no more is copied than the file holds.
bool ReadResources(const uint8_t* data, size_t size, const PeImage& pe, std::vector<Resource>* out, std::string* error);

// The resource of that type and name (any language), or null.
const Resource* FindResourceIn(const std::vector<Resource>& list, const ResourceId& type, const ResourceId& name);

// Puts a resource into the list, replacing every resource of the same type and name.
void SetResource(std::vector<Resource>* list, Resource resource);

// Lays out a complete resource section for the list, to be loaded at sectionRva: the
// directory tables (sorted), the data entries, the name strings, then the data, each item
// aligned to 8 bytes. Directory time stamps are 0. False when the result would not fit 32 bits,
// or when a resource names a file (this form holds every byte).
bool LayoutResources(const std::vector<Resource>& list, uint32_t sectionRva, std::vector<uint8_t>* section,
                     std::string* error);

// The same layout as pieces: the content of a resource that names a file is a piece of its
// own (pointing into list), everything else is held.
bool LayoutResourcePieces(const std::vector<Resource>& list, uint32_t sectionRva, std::vector<ImagePiece>* pieces,
                          std::string* error);

// Writes the resources into a copy of a PE image: the resource section is replaced in place
// when it is the image's last section, else a new last section is added (the old one is left
// unused). The resource data directory, section table, SizeOfImage, SizeOfInitializedData,
// the time stamp and the checksum are updated. False with *error when the image cannot take
// it (signed, data after the last section, no room for another section header), or when a
// resource names a file.
bool WriteResources(const std::vector<uint8_t>& image, const std::vector<Resource>& list, uint32_t timeStamp,
                    std::vector<uint8_t>* out, std::string* error);

// What WriteResources writes, as pieces in file order (pointing into list), with the
// checksum field left 0: it lies at *checksumOffset of the first piece, which holds every
// header. A resource naming a file need not be held.
bool PlanResourceWrite(const std::vector<uint8_t>& image, const std::vector<Resource>& list, uint32_t timeStamp,
                       std::vector<ImagePiece>* pieces, size_t* checksumOffset, std::string* error);
