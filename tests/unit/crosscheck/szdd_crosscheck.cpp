// Cross-check of our SZDD codec against an independent one, Debian's mscompress/msexpand:
// msexpand must expand our compressor's output to the original bytes, and our expander must
// expand mscompress's output to the original bytes. Inputs: generated data of awkward shapes
// and the files named on the command line.
//
// mscompress writes wrong streams for inputs shorter than 16 bytes (its first items are taken
// from the initial window instead of the input), so that direction starts at 16 bytes.
//
// Exit status: 0 all agree, 1 a mismatch, 77 the tools are not installed (skipped).
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/format/szdd.h"
#include "tools/szdd/compress.h"

namespace fs = std::filesystem;
typedef std::vector<uint8_t> Bytes;

namespace {

const size_t kMscompressMinimum = 16;

bool ReadFile(const fs::path& p, Bytes* out) {
  std::ifstream f(p, std::ios::binary);
  if (!f) return false;
  out->assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
  return true;
}

void WriteFile(const fs::path& p, const Bytes& b) {
  std::ofstream f(p, std::ios::binary);
  f.write(reinterpret_cast<const char*>(b.data()), (std::streamsize)b.size());
}

bool HaveTool(const char* name) {
  std::string cmd = std::string("command -v ") + name + " >/dev/null 2>&1";
  return system(cmd.c_str()) == 0;
}

std::string Quote(const fs::path& p) { return "'" + p.string() + "'"; }

Bytes Generated(int kind, size_t n) {
  Bytes b(n);
  uint32_t s = 12345 + (uint32_t)kind;
  for (size_t i = 0; i < n; i++) {
    s = s * 1103515245u + 12345u;
    switch (kind) {
      case 0: b[i] = (uint8_t)(s >> 16); break;                          // random
      case 1: b[i] = 0; break;                                           // zeros
      case 2: b[i] = ' '; break;                                         // spaces, as the window
      case 3: b[i] = "the window and the payload\r\n"[i % 28]; break;   // short period
      case 4: b[i] = (uint8_t)((s >> 16) % 3 == 0 ? ' ' : 'a' + (s >> 20) % 4); break;  // small alphabet
      default: b[i] = (uint8_t)(i / 4097); break;                        // runs at window length
    }
  }
  return b;
}

}  // namespace

int main(int argc, char** argv) {
  if (!HaveTool("mscompress") || !HaveTool("msexpand")) {
    printf("mscompress or msexpand not installed: skipped\n");
    return 77;
  }
  char tmpl[] = "/tmp/orv_szdd_crosscheck_XXXXXX";
  if (!mkdtemp(tmpl)) return 1;
  fs::path dir = tmpl;

  struct Input {
    std::string name;
    Bytes data;
  };
  std::vector<Input> inputs;
  const size_t sizes[] = {0, 1, 2, 15, 16, 17, 18, 19, 4095, 4096, 4097, 9000, 40000};
  const char* kinds[] = {"random", "zeros", "spaces", "period", "alphabet", "long runs"};
  for (int k = 0; k < 6; k++) {
    for (size_t n : sizes) inputs.push_back({std::string(kinds[k]) + " " + std::to_string(n), Generated(k, n)});
  }
  for (int i = 1; i < argc; i++) {
    Input in;
    in.name = argv[i];
    if (ReadFile(argv[i], &in.data)) inputs.push_back(in);
    else printf("note: %s not readable, left out\n", argv[i]);
  }

  int failures = 0, checks = 0;
  for (const Input& in : inputs) {
    // Ours, expanded by msexpand.
    Bytes ours = SzddCompress(in.data.data(), in.data.size());
    WriteFile(dir / "ours.szdd", ours);
    std::string cmd = "msexpand < " + Quote(dir / "ours.szdd") + " > " + Quote(dir / "ours.out");
    Bytes back;
    checks++;
    if (system(cmd.c_str()) != 0 || !ReadFile(dir / "ours.out", &back) || back != in.data) {
      printf("FAIL %s: msexpand does not give back the input from our stream (%zu bytes in, %zu out)\n",
             in.name.c_str(), in.data.size(), back.size());
      failures++;
    }

    if (in.data.size() < kMscompressMinimum) continue;
    // mscompress's, expanded by ours.
    fs::path plain = dir / "theirs";
    fs::remove(dir / "theirs_");
    WriteFile(plain, in.data);
    cmd = "cd " + Quote(dir) + " && mscompress theirs >/dev/null 2>&1";
    Bytes theirs;
    checks++;
    if (system(cmd.c_str()) != 0 || !ReadFile(dir / "theirs_", &theirs)) {
      printf("FAIL %s: mscompress did not run\n", in.name.c_str());
      failures++;
      continue;
    }
    unsigned length = 0;
    Bytes out(in.data.size());
    size_t produced = 0;
    SzddStatus header = SzddReadHeader(theirs.data(), theirs.size(), &length);
    SzddStatus status = header == kSzddOk && length == in.data.size()
                            ? SzddExpand(theirs.data(), theirs.size(), out.data(), out.size(), &produced)
                            : header;
    if (status != kSzddOk || out != in.data) {
      printf("FAIL %s: our expander gives status %d and %zu bytes%s from mscompress's stream\n", in.name.c_str(),
             (int)status, produced, out == in.data ? "" : " that differ");
      failures++;
    }
    printf("%-60.60s %9zu bytes: ours %9zu, mscompress %9zu\n", in.name.c_str(), in.data.size(), ours.size(),
           theirs.size());
  }
  fs::remove_all(dir);
  printf("%d of %d checks failed\n", failures, checks);
  return failures ? 1 : 0;
}
