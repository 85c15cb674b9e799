// SZDD benchmark (not a test): compressed size and speed of our compressor beside Debian's
// mscompress, expansion speed of our expander beside msexpand, on the same input in one run;
// and the size of an optimal parse found with an independent, exhaustive match finder, with
// the size of a one-step lazy parse for comparison.
//
//   bench_szdd_bench [FILE...]     (default: Windows libraries of the mingw-w64 tool chain
//                                   and documentation texts of this machine, a few MB)
//
// Single measurements for scripts/bench.sh, each printing one number:
//   bench_szdd_bench --optimal FILE        bytes of the whole-stream optimal parse, its
//                                          matches found by the exhaustive hash-chain finder
//                                          (not the binary trees that the packer uses)
//   bench_szdd_bench --expand STREAM RUNS  seconds to expand STREAM in memory with the
//                                          installer's expander, the median of RUNS runs
//
// Each file is measured on its own and all of them together as one stream, as a payload is.
// Times are wall-clock and CPU seconds; the machine may be shared, so CPU time is the fairer.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/format/szdd.h"
#include "tools/szdd/compress.h"

namespace fs = std::filesystem;
typedef std::vector<uint8_t> Bytes;

namespace {

const char* kDefaultInputs[] = {
    "/usr/lib/gcc/i686-w64-mingw32/12-posix/libgcc_s_dw2-1.dll",
    "/usr/lib/gcc/i686-w64-mingw32/12-posix/libgomp-1.dll",
    "/usr/lib/gcc/i686-w64-mingw32/12-posix/libssp-0.dll",
    "/usr/lib/gcc/i686-w64-mingw32/12-posix/libatomic-1.dll",
    "/usr/share/common-licenses/GPL-3",
    "/usr/share/common-licenses/GPL-2",
    "/usr/share/common-licenses/Apache-2.0",
    "/usr/share/doc/nettle-dev/nettle.html",
    "/usr/share/doc/nodejs/api/process.html",
};

struct Clock {
  std::chrono::steady_clock::time_point wall;
  double cpuSelf, cpuChildren;
  static double Seconds(const timeval& t) { return (double)t.tv_sec + t.tv_usec / 1e6; }
  static double Cpu(int who) {
    rusage u;
    getrusage(who, &u);
    return Seconds(u.ru_utime) + Seconds(u.ru_stime);
  }
  Clock() : wall(std::chrono::steady_clock::now()), cpuSelf(Cpu(RUSAGE_SELF)), cpuChildren(Cpu(RUSAGE_CHILDREN)) {}
  double Wall() const { return std::chrono::duration<double>(std::chrono::steady_clock::now() - wall).count(); }
  double CpuSelf() const { return Cpu(RUSAGE_SELF) - cpuSelf; }
  double CpuChildren() const { return Cpu(RUSAGE_CHILDREN) - cpuChildren; }
};

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

double Mb(size_t n, double s) { return s > 0 ? n / 1e6 / s : 0; }

struct Row {
  std::string name;
  size_t size = 0, ours = 0, lazy = 0, optimal = 0, theirs = 0;
  double oursWall = 0, oursCpu = 0, theirsWall = 0, theirsCpu = 0;
  double expandWall = 0, msexpandWall = 0, msexpandCpu = 0;
  bool expandOk = false, theirsOk = false;
};

Row Measure(const std::string& name, const Bytes& data, const fs::path& dir, bool withTools) {
  Row r;
  r.name = name;
  r.size = data.size();
  {
    Clock c;
    Bytes z = SzddCompress(data.data(), data.size());
    r.oursWall = c.Wall();
    r.oursCpu = c.CpuSelf();
    r.ours = z.size();
    WriteFile(dir / "ours.szdd", z);
    // Expansion, repeated until it has run for a while, into a buffer of the stated length.
    Bytes out(data.size());
    int rounds = 0;
    Clock e;
    do {
      size_t produced = 0;
      r.expandOk = SzddExpand(z.data(), z.size(), out.data(), out.size(), &produced) == kSzddOk && out == data;
      rounds++;
    } while (e.Wall() < 0.5);
    r.expandWall = e.Wall() / rounds;
  }
  r.lazy = SzddCompressLazy(data.data(), data.size()).size();
  r.optimal = SzddCompress(data.data(), data.size(), SzddMatchFinder::kHashChain).size();
  if (!withTools) return r;

  WriteFile(dir / "in", data);
  fs::remove(dir / "in_");
  std::string cmd = "cd '" + dir.string() + "' && mscompress in >/dev/null 2>&1";
  Clock c;
  int rc = system(cmd.c_str());
  r.theirsWall = c.Wall();
  r.theirsCpu = c.CpuChildren();
  Bytes theirs;
  if (rc == 0 && ReadFile(dir / "in_", &theirs)) r.theirs = theirs.size();

  cmd = "msexpand < '" + (dir / "ours.szdd").string() + "' > '" + (dir / "ours.out").string() + "'";
  Clock x;
  rc = system(cmd.c_str());
  r.msexpandWall = x.Wall();
  r.msexpandCpu = x.CpuChildren();
  Bytes back;
  r.theirsOk = rc == 0 && ReadFile(dir / "ours.out", &back) && back == data;
  return r;
}

void Print(const Row& r) {
  printf("%s: %zu bytes\n", r.name.c_str(), r.size);
  printf("  compressed   ours %zu (%.2f%%), optimal reference %zu, ours vs optimal %+.3f%%, lazy %zu (%+.3f%%)\n", r.ours,
         100.0 * r.ours / r.size, r.optimal, 100.0 * ((double)r.ours / r.optimal - 1), r.lazy,
         100.0 * ((double)r.lazy / r.optimal - 1));
  if (r.theirs)
    printf("               mscompress %zu (%.2f%%), mscompress vs ours %+.2f%%\n", r.theirs, 100.0 * r.theirs / r.size,
           100.0 * ((double)r.theirs / r.ours - 1));
  printf("  compression  ours %.3f s wall %.3f s CPU (%.1f MB/s CPU)", r.oursWall, r.oursCpu, Mb(r.size, r.oursCpu));
  if (r.theirs)
    printf("; mscompress %.3f s wall %.3f s CPU (%.2f MB/s CPU); ours %.1fx faster by CPU, %.1fx by wall", r.theirsWall,
           r.theirsCpu, Mb(r.size, r.theirsCpu), r.theirsCpu / r.oursCpu, r.theirsWall / r.oursWall);
  printf("\n");
  printf("  expansion    ours %.4f s (%.0f MB/s)%s", r.expandWall, Mb(r.size, r.expandWall),
         r.expandOk ? "" : " WRONG BYTES");
  if (r.msexpandWall > 0)
    printf("; msexpand %.3f s wall %.3f s CPU (%.2f MB/s wall)%s", r.msexpandWall, r.msexpandCpu,
           Mb(r.size, r.msexpandWall), r.theirsOk ? "" : " WRONG BYTES");
  printf("\n");
}

}  // namespace

int Single(int argc, char** argv) {
  Bytes in;
  if (argc < 3 || !ReadFile(argv[2], &in)) {
    fprintf(stderr, "%s: cannot be read\n", argc < 3 ? "(no file)" : argv[2]);
    return 1;
  }
  if (!strcmp(argv[1], "--optimal")) {
    printf("%zu\n", SzddCompress(in.data(), in.size(), SzddMatchFinder::kHashChain).size());
    return 0;
  }
  unsigned length = 0;
  if (argc < 4 || SzddReadHeader(in.data(), in.size(), &length) != kSzddOk) return 1;
  Bytes out(length);
  std::vector<double> times;
  for (int i = 0; i < atoi(argv[3]); i++) {
    Clock c;
    if (SzddExpand(in.data(), in.size(), out.data(), out.size(), nullptr) != kSzddOk) return 1;
    times.push_back(c.Wall());
  }
  if (times.empty()) return 1;
  std::sort(times.begin(), times.end());
  printf("%.6f\n", times[times.size() / 2]);
  return 0;
}

int main(int argc, char** argv) {
  if (argc > 1 && (!strcmp(argv[1], "--optimal") || !strcmp(argv[1], "--expand"))) return Single(argc, argv);
  std::vector<std::string> names;
  for (int i = 1; i < argc; i++) names.push_back(argv[i]);
  if (names.empty())
    for (const char* n : kDefaultInputs) names.push_back(n);
  bool withTools = system("command -v mscompress >/dev/null && command -v msexpand >/dev/null") == 0;
  if (!withTools) printf("mscompress/msexpand not installed: ours only\n");

  char tmpl[] = "/tmp/orv_szdd_bench_XXXXXX";
  if (!mkdtemp(tmpl)) return 1;
  fs::path dir = tmpl;

  Bytes all;
  std::vector<Row> rows;
  for (const std::string& n : names) {
    Bytes data;
    if (!ReadFile(n, &data) || data.empty()) {
      printf("%s: not readable, left out\n", n.c_str());
      continue;
    }
    all.insert(all.end(), data.begin(), data.end());
    Row r = Measure(fs::path(n).filename().string(), data, dir, withTools);
    Print(r);
    rows.push_back(r);
  }
  if (all.empty()) return 1;
  printf("\n");
  Row total = Measure("all files as one stream", all, dir, withTools);
  Print(total);
  size_t ours = 0, theirs = 0, optimal = 0;
  for (const Row& r : rows) {
    ours += r.ours;
    theirs += r.theirs;
    optimal += r.optimal;
  }
  printf("\nfiles one by one: ours %zu, optimal %zu (%+.3f%%), mscompress %zu (%+.2f%% over ours)\n", ours, optimal,
         100.0 * ((double)ours / optimal - 1), theirs, theirs ? 100.0 * ((double)theirs / ours - 1) : 0.0);
  fs::remove_all(dir);
  return 0;
}
