// The resource tree reader and writer on any bytes: what is read (of the image parsed whole;
// of the image parsed leniently, only read) is written into the image with a FILES resource
// added, and what is written must read back as the same resources.
#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "tools/pe/resource_tree.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  PeImage pe;
  std::string error;
  std::vector<Resource> list;
  // Leniently parsed, the image's tree and data are still read within the bytes given.
  if (ParsePe(data, size, &pe, &error, PeParse::kLenient)) ReadResources(data, size, pe, &list, &error);
  if (!ParsePe(data, size, &pe, &error) || !ReadResources(data, size, pe, &list, &error)) return 0;
  Resource added;
  added.type = ResourceId::Name("FILES");
  added.name = ResourceId::Name("DATA");
  added.data.assign(data, data + (size < 100 ? size : 100));
  SetResource(&list, added);
  std::vector<uint8_t> image(data, data + size), out;
  if (!WriteResources(image, list, 0, &out, &error)) return 0;
  PeImage back;
  std::vector<Resource> again;
  if (!ParsePe(out.data(), out.size(), &back, &error) || !ReadResources(out.data(), out.size(), back, &again, &error))
    __builtin_trap();
  const Resource* r = FindResourceIn(again, added.type, added.name);
  if (!r || r->data != added.data) __builtin_trap();
  return 0;
}
