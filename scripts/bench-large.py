#!/usr/bin/env python3
"""Benchmark (not a test, not part of CI): products of about 50 MB, 1.2 GB and 3 GB
installed under 32-bit Wine, with the installer's peak private memory and its time.

  scripts/bench-large.py [--build DIR] [--sizes 50,1200,3000] [--work DIR]

Each product is generated at run time from the large set of tests/bench/corpus.txt (about
50 MB): as many copies as the size needs, each copy changed (a line naming the copy in front
of every file, and one byte in every 64 KB changed), none kept afterwards. It is built with
`orv build` (the shipped stub and uninstaller of build/win) and installed in a fresh prefix
under orvdrive's --at-once mode, every dialog answered with its default button as soon as
it is ready; then every file is compared with its source. Printed per size: the payload,
the installer's size, the installation time (process start to end, from orvdrive's log),
and the installer's peak private memory: the most anonymous resident memory (RssAnon of
/proc/PID/status, sampled every 20 ms) of the installer's Wine process, beside the same for
an empty run of it (cancelled at the first dialog), so that what grows with the product is
the difference. A size whose installer `orv build` refuses is reported as refused.
"""
import argparse
import hashlib
import os
import shutil
import subprocess
import sys
import threading
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
E2E = os.path.join(ROOT, "tests", "e2e")
CORPUS = os.path.join(ROOT, "tests", "bench", "corpus.txt")


def corpus_large():
    files = []
    with open(CORPUS) as fh:
        for line in fh:
            if line.startswith("#") or not line.strip():
                continue
            s, _hash, size, _pkg, path = line.split()
            if s == "large" and os.path.isfile(path):
                files.append((path, int(size)))
    return files


def make_payload(dest, megabytes, corpus):
    """Copies of the corpus, each changed, up to the size; gives {name: sha256}."""
    want = megabytes * 1000 * 1000
    total, copy, sums = 0, 0, {}
    while total < want:
        d = os.path.join(dest, "c%03d" % copy)
        os.makedirs(d)
        for i, (path, _size) in enumerate(corpus):
            if total >= want:
                break
            with open(path, "rb") as fh:
                data = bytearray(b"copy %d of %s\r\n" % (copy, os.path.basename(path).encode()) + fh.read())
            for at in range(copy % 4096, len(data), 65536):
                data[at] ^= 0x5A
            name = "f%03d_%s" % (i, os.path.basename(path))
            with open(os.path.join(d, name), "wb") as out:
                out.write(data)
            sums["c%03d\\%s" % (copy, name)] = hashlib.sha256(data).hexdigest()
            total += len(data)
        copy += 1
    return sums, total


class PeakAnon:
    """The largest RssAnon of the process whose command line names the installer."""

    def __init__(self, exe_name):
        self.name = exe_name.encode()
        self.peak_kb = 0
        self.stop = False
        self.thread = threading.Thread(target=self.loop, daemon=True)
        self.thread.start()

    def loop(self):
        while not self.stop:
            for pid in os.listdir("/proc"):
                if not pid.isdigit():
                    continue
                try:
                    with open("/proc/%s/cmdline" % pid, "rb") as fh:
                        cmd = fh.read()
                    if self.name not in cmd or b"orvdrive" in cmd:
                        continue
                    with open("/proc/%s/status" % pid) as fh:
                        for line in fh:
                            if line.startswith("RssAnon:"):
                                self.peak_kb = max(self.peak_kb, int(line.split()[1]))
                except OSError:
                    pass
            time.sleep(0.02)

    def end(self):
        self.stop = True
        self.thread.join()
        return self.peak_kb


def elapsed_ms(r):
    start = next((e.get("ms") for e in r.events if e.get("event") == "start"), None)
    end = next((e.get("ms") for e in r.events if e.get("event") == "exit" and e.get("main")), None)
    return None if start is None or end is None else end - start


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--build", default=os.environ.get("BUILD", os.path.join(ROOT, "build")))
    ap.add_argument("--sizes", default="50,1200,3000", help="payload sizes in MB (10^6 bytes)")
    ap.add_argument("--work", default=None, help="where the products are generated (default: build/e2e/work)")
    a = ap.parse_args()
    build = os.path.abspath(a.build)
    os.environ["ORV_BUILD_DIR"] = build
    os.environ["ORV_SOURCE_DIR"] = ROOT
    sys.path.insert(0, E2E)
    import harness as h  # noqa: E402
    import integration_flow as f  # noqa: E402
    import run as runner  # noqa: E402

    corpus = corpus_large()
    if not corpus:
        print("bench-large: the corpus's large set is not on this machine (scripts/bench.sh installs it)",
              file=sys.stderr)
        return 1
    started_display = False
    if not os.path.exists(os.path.join(h.e2e_dir(), "xvfb.json")):
        if runner.setup() != 0:
            return 1
        started_display = True
    case = h.Case("bench-large")
    rows = []
    try:
        for mb in [int(x) for x in a.sizes.split(",")]:
            product = os.path.join(a.work or case.dir, "product-%d" % mb)
            shutil.rmtree(product, ignore_errors=True)
            os.makedirs(os.path.join(product, "payload"))
            t = time.time()
            sums, total = make_payload(os.path.join(product, "payload"), mb, corpus)
            print("bench-large: %d MB: %d files generated in %.0f s" % (mb, len(sums), time.time() - t),
                  file=sys.stderr)
            first = next(iter(sorted(sums)))
            with open(os.path.join(product, "SCRIPT"), "wb") as out:
                out.write(f.script(items=[first + ",First file"], options=()).encode("cp1252"))
            with open(os.path.join(product, "LICENCE"), "wb") as out:
                out.write(f.LICENCE.encode("cp1252"))
            setup = os.path.join(os.path.dirname(product), "large%d.exe" % mb)
            win = os.path.join(build, "win")
            t = time.time()
            p = subprocess.run([os.path.join(build, "orv"), "build", "-q", product, "-o", setup, "--stub",
                                os.path.join(win, "install_stub.exe"), "--uninstaller",
                                os.path.join(win, "uninstall.exe")], capture_output=True, text=True)
            built = time.time() - t
            if p.returncode != 0:
                shutil.rmtree(product, ignore_errors=True)
                rows.append("| %d MB | %.1f MB in %d files | refused by orv build: %s | | |" % (
                    mb, total / 1e6, len(sums), p.stderr.strip().splitlines()[-1]))
                continue
            installer = os.path.getsize(setup)
            # The same installer cancelled at its first dialog: the private memory of Wine and
            # of the installer without any payload work.
            pfx = case.prefix()
            watch = PeakAnon(os.path.basename(setup))
            pfx.run(setup, scenario="expect caption=%s\npress 2\nend\n" % f.q(f.COMPANY), at_once=True, check=False, name="empty%d" % mb)
            empty_kb = watch.end()
            pfx.stop()
            shutil.rmtree(pfx.path, ignore_errors=True)
            case.prefixes.remove(pfx)
            pfx = case.prefix()
            watch = PeakAnon(os.path.basename(setup))
            r = pfx.run(setup, scenario="answer-defaults timeout=3000", at_once=True, check=False, name="ours%d" % mb)
            peak_kb = watch.end()
            ms = elapsed_ms(r)
            bad = []
            for name, want in sums.items():
                host = pfx.host(f.INSTALL_DIR + "\\" + name)
                try:
                    with open(host, "rb") as fh:
                        got = hashlib.sha256(fh.read()).hexdigest()
                except OSError:
                    got = None
                if got != want:
                    bad.append(name)
            pfx.stop()
            shutil.rmtree(pfx.path, ignore_errors=True)
            case.prefixes.remove(pfx)
            shutil.rmtree(product, ignore_errors=True)
            os.remove(setup)
            state = "every file checked" if not bad and r.exit_code == 0 else "exit %r, %d files wrong (%s)" % (
                r.exit_code, len(bad), bad[:2])
            rows.append("| %d MB | %.1f MB in %d files | %.1f MB (built in %.0f s) | %s | %d MB (empty run %d MB) | %s |" % (
                mb, total / 1e6, len(sums), installer / 1e6, built, "n/a" if ms is None else "%.2f s" % (ms / 1000.0),
                peak_kb // 1024, empty_kb // 1024, state))
            print(rows[-1], file=sys.stderr)
    finally:
        case.finish(passed=True)
        if started_display:
            runner.cleanup()
    print("| size | payload | installer | installation | peak private memory (RssAnon) | check |")
    print("|---|---|---|---|---|---|")
    for row in rows:
        print(row)
    return 0


if __name__ == "__main__":
    sys.exit(main())
