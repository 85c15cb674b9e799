// orv inspect: what an installer carries, read back and verified.
#include <stdio.h>
#include <string.h>

#include <new>
#include <string>
#include <vector>

#include "common/format/file_list.h"
#include "common/format/install_script.h"
#include "common/format/szdd.h"
#include "tools/orv/options.h"
#include "tools/orv/product.h"
#include "tools/payload/file_time.h"
#include "tools/pe/version_info.h"
#include "tools/orv/verbs.h"
#include "tools/host/mapped_file.h"
#include "tools/orv/inspect.h"
#include "tools/pe/resource_tree.h"
#include "tools/script_check/items.h"
#include "tools/szdd/count.h"

namespace {

const char kHelp[] =
    "Usage: orv inspect SETUP.EXE\n"
    "\n"
    "Shows what an installer made by `orv build` carries: the install script line by line\n"
    "with the item each line is, the licence's size and first lines, every payload file with\n"
    "its size and version or time, the uninstaller's name and version, and the sizes of the\n"
    "stub and the payload. It verifies CHECKSUM where present, expands DATA and checks that it\n"
    "yields exactly the sizes of the file list.\n"
    "\n"
    "Exit status: 0 sound, 1 damaged or not one of ours (the reason on stderr), 2 wrong usage.\n";

// The bytes of a resource found in the image (none when r is null).
std::string Text(const uint8_t* image, const ResourceSpan* r) {
  return r ? std::string(reinterpret_cast<const char*>(image) + r->offset, r->length) : std::string();
}

void ShowScript(FILE* out, const std::string& script, std::string* uninstallerName, std::string* uninstallerVersion) {
  std::vector<char> buffer(script.begin(), script.end());
  buffer.push_back(0);
  ScriptCursor cursor;
  cursor.Reset(buffer.data(), (unsigned)script.size());
  fprintf(out, "SCRIPT (%zu bytes):\n", script.size());
  size_t item = 0;
  int lineNumber = 0;
  for (char* line; (line = cursor.Next()) != nullptr;) {
    lineNumber++;
    std::string value = line;
    std::string label;
    if (item >= kScriptItemCount) {
      label = "never read";
    } else {
      const ScriptItem& it = kScriptItems[item];
      char head[80];
      if (it.list && IsListEnd(line)) {
        snprintf(head, sizeof head, "item %d, end of the list", it.number);
        item++;
      } else {
        snprintf(head, sizeof head, "item %d, %s", it.number, it.name);
        if (!it.list) item++;
      }
      label = head;
      if (it.number == 2) ReadUninstallerLine(value, uninstallerName, uninstallerVersion);
    }
    fprintf(out, "  %4d  %-46s %s\n", lineNumber, label.c_str(), value.c_str());
  }
}

void ShowLicence(FILE* out, const std::string& licence) {
  fprintf(out, "LICENCE: %zu bytes\n", licence.size());
  size_t at = 0;
  for (int i = 0; i < 3 && at < licence.size(); i++) {
    size_t end = licence.find("\r\n", at);
    std::string line = licence.substr(at, end == std::string::npos ? std::string::npos : end - at);
    fprintf(out, "  | %s\n", line.c_str());
    if (end == std::string::npos) break;
    at = end + 2;
  }
}

}  // namespace

void InspectInstaller(const uint8_t* image, size_t size, const std::string& path, FILE* out, Diagnostics* diags) {
  PeImage pe;
  std::vector<ResourceSpan> resources;
  std::string error;
  if (!ParsePe(image, size, &pe, &error) || !ReadResourceSpans(image, size, pe, &resources, &error)) {
    diags->Error(path, 0, 0, error);
    return;
  }
  ResourceId files = ResourceId::Name("FILES");
  uint64_t filesBytes = 0;
  size_t filesCount = 0;
  for (const ResourceSpan& r : resources)
    if (r.type == files) {
      filesBytes += r.length;
      filesCount++;
    }
  if (!filesCount) {
    diags->Error(path, 0, 0, "not an installer made by orv: it carries no FILES resources");
    return;
  }
  auto get = [&](const char* name) { return FindResourceSpan(resources, files, ResourceId::Name(name)); };
  for (const char* name : {"SCRIPT", "LICENCE", "FILELIST", "DATA", "UNINSTALL"})
    if (!get(name)) diags->Error(path, 0, 0, std::string("damaged: no FILES resource ") + name);

  // Data entries may share bytes, so the FILES resources can add up to more than the file.
  if (filesBytes > size) {
    diags->Error(path, 0, 0, "damaged: its FILES resources add up to more bytes than the file holds");
    return;
  }
  fprintf(out, "%s: %zu bytes; stub %llu bytes, FILES resources %llu bytes\n", path.c_str(), size,
          (unsigned long long)(size - filesBytes), (unsigned long long)filesBytes);
  std::string uninstallerName, scriptVersion;
  if (const ResourceSpan* s = get("SCRIPT")) ShowScript(out, Text(image, s), &uninstallerName, &scriptVersion);
  if (const ResourceSpan* l = get("LICENCE")) ShowLicence(out, Text(image, l));

  const ResourceSpan* list = get("FILELIST");
  const ResourceSpan* data = get("DATA");
  unsigned long long listed = 0;
  if (list) {
    fprintf(out, "FILELIST:\n");
    FileListCursor cursor;
    FileListBegin(reinterpret_cast<const char*>(image + list->offset), list->length, &cursor);
    const char* line;
    size_t length;
    int number = 0;
    while (FileListNextLine(&cursor, &line, &length)) {
      number++;
      FileEntry e;
      int status = ParseFileEntry(line, length, &e);
      if (status) {
        diags->Error(path, 0, 0, "damaged: FILELIST line " + std::to_string(number) + " cannot be read (internal error " +
                                     std::to_string(status) + ")");
        break;
      }
      std::string how = e.hasVersion ? "version " + std::to_string(e.version[0]) + "." + std::to_string(e.version[1]) +
                                           "." + std::to_string(e.version[2]) + "." + std::to_string(e.version[3])
                                     : e.hasTime ? "time " + FileTimeText((uint64_t)e.timeHigh << 32 | e.timeLow) : "no version, no time";
      fprintf(out, "  %-40s %12d  %s\n", std::string(e.name, e.nameLength).c_str(), e.size, how.c_str());
      if (e.size < 0) diags->Error(path, 0, 0, "damaged: FILELIST line " + std::to_string(number) + " has a negative size");
      else listed += (unsigned)e.size;
    }
  }
  if (data) {
    // Expanded into a count, not into memory: the header's length is only a claim.
    const uint8_t* bytes = image + data->offset;
    unsigned expandedLength = 0;
    uint64_t produced = 0;
    SzddStatus status = SzddReadHeader(bytes, data->length, &expandedLength);
    if (status == kSzddNotCompressed) {
      expandedLength = data->length;
      status = kSzddOk;
    } else if (status == kSzddOk) {
      status = SzddCount(bytes, data->length, &produced);
    }
    fprintf(out, "DATA: %u bytes, expanding to %u bytes; the file list's sizes add up to %llu bytes\n", data->length,
            expandedLength, listed);
    if (status != kSzddOk)
      diags->Error(path, 0, 0, "damaged: DATA does not expand (" +
                                   std::string(status == kSzddTruncated ? "cut short" : status == kSzddOverlong ? "too long" : "unknown mode") + ")");
    else if (list && expandedLength != listed)
      diags->Error(path, 0, 0, "damaged: DATA expands to " + std::to_string(expandedLength) +
                                   " bytes, the file list's sizes add up to " + std::to_string(listed));
  }
  if (const ResourceSpan* c = get("CHECKSUM")) {
    std::string stored = Text(image, c);
    std::string computed = data ? FilesChecksum(Text(image, list), image + data->offset, data->length)
                                : FilesChecksum(Text(image, list), nullptr, 0);
    fprintf(out, "CHECKSUM: %s (%s)\n", stored.c_str(), stored == computed ? "matches" : ("computed " + computed).c_str());
    if (stored != computed) diags->Error(path, 0, 0, "damaged: CHECKSUM " + stored + " does not match " + computed);
  } else {
    fprintf(out, "CHECKSUM: none\n");
  }
  if (const ResourceSpan* u = get("UNINSTALL")) {
    std::string version;
    bool has = PeFileVersionText(image + u->offset, u->length, &version);
    fprintf(out, "UNINSTALL: %s, version %s in the script; %u bytes, file version %s\n",
            uninstallerName.empty() ? "?" : uninstallerName.c_str(), scriptVersion.empty() ? "?" : scriptVersion.c_str(),
            u->length, has ? version.c_str() : "none");
  }
}

int OrvInspect(int argc, char** argv) {
  VerbOptions table{"inspect", kHelp};
  table.minArguments = table.maxArguments = 1;
  table.arguments = "one installer expected";
  std::vector<std::string> args;
  int status = ParseVerbOptions(table, argc, argv, &args);
  if (status >= 0) return status;
  const std::string& path = args[0];
  Diagnostics diags;
  MappedFile image;
  std::string error;
  if (!image.Open(path, &error)) {
    diags.Error(path, 0, 0, "cannot be read");
  } else {
    try {
      InspectInstaller(image.data(), image.size(), path, stdout, &diags);
    } catch (const std::bad_alloc&) {
      diags.Error(path, 0, 0, "too large to inspect: out of memory");
    }
  }
  fflush(stdout);
  diags.Print(stderr);
  return diags.ErrorCount() ? 1 : 0;
}
