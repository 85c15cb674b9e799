#!/usr/bin/env python3
"""Benchmark (not a test, not part of CI): how long an installation takes under Wine.

  scripts/bench-install.py [--build DIR] [--runs N] [--no-default-run] [--lz-stream FILE]
                           PAYLOAD_DIR

Builds a product's installer (production build, build/win's install library) from the
payload directory (every file below it, installed under the same relative names; a medium
payload is some 5 MB in about 100 files), with an install script that makes one shortcut
and offers nothing to run at the end. Then, N times (default 5), each in a fresh prefix
copied from the same template, it runs the installer under orvdrive's --at-once mode with
every dialog answered by its default button as soon as it is ready, and checks that every
file arrived. Printed, as Markdown table rows "| what | figure |" (medians of the N runs):

- the whole installation: from the installer's process start to its end;
- the installer's start-up: from its process start to its first window;
- the program's own time: the whole less the time its dialogs stood open before their
  answers (the driver's reaction, a few milliseconds each);
- for comparison, one run under the driver's default mode (its settle pauses and 100 ms
  looks, as the end-to-end tests run); --no-default-run leaves it out.

With --lz-stream FILE (an SZDD stream, e.g. a product's DATA made by orv-pack), also the
expansion speed of Wine's LZCopy and of our expander on it, in the same run (lzcheck.exe
--time, median of 5 alternating runs; MB = 10^6 bytes of expanded data).

Times come from orvdrive's log (its "ms" field: milliseconds since orvdrive started, in
steps of the platform's timer). Uses tests/e2e/harness.py: the build directory's Xvfb and
template prefixes are reused when there, else made (and Xvfb stopped at the end). The work
directory is build/e2e/work/bench-install/.
"""
import argparse
import os
import statistics
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
E2E = os.path.join(ROOT, "tests", "e2e")


def payload_of(directory):
    """{relative Windows name: host path} of every file below directory."""
    files = {}
    for base, dirs, names in os.walk(directory):
        dirs.sort()
        for n in sorted(names):
            host = os.path.join(base, n)
            if os.path.isfile(host):
                rel = os.path.relpath(host, directory).replace(os.sep, "\\")
                files[rel] = host
    return files


def first_ms(events, pred):
    for e in events:
        if pred(e):
            return e.get("ms")
    return None


def measure(r, app):
    """(whole, start-up, own) in milliseconds from one run's log; None where missing."""
    ev = r.events
    start = first_ms(ev, lambda e: e.get("event") == "start")
    pid = next((e.get("pid") for e in ev if e.get("event") == "start"), None)
    end = first_ms(ev, lambda e: e.get("event") == "exit" and e.get("main"))
    first = first_ms(ev, lambda e: e.get("event") == "window" and e.get("pid") == pid)
    if start is None or end is None:
        return None, None, None
    # The time dialogs stood open: from their first sight ("window") to the answer.
    seen = {}
    waiting = 0
    for e in ev:
        if e.get("event") == "window":
            seen.setdefault(e.get("hwnd"), e.get("ms"))
        elif e.get("event") == "answer" and e.get("hwnd") in seen:
            waiting += e["ms"] - seen[e["hwnd"]]
    whole = end - start
    return whole, (first - start) if first is not None else None, whole - waiting


def fmt_s(ms):
    return "n/a" if ms is None else "%.2f s" % (ms / 1000.0)


def fmt_ms(ms):
    return "n/a" if ms is None else "%d ms" % ms


def median(values):
    values = [v for v in values if v is not None]
    return statistics.median(values) if values else None


def expansion_rows(case, h, stream):
    pfx = case.prefix()
    report = "C:\\lzreport.txt"
    rc = pfx.wine([h.win_file("lzcheck.exe"), "--time", pfx.win(stream), report, "5"], timeout=3600)
    text = pfx.read(report).decode("cp1252") if pfx.exists(report) else ""
    pfx.stop()
    fields = dict(line.split("\t", 1) for line in text.split("\r\n") if "\t" in line)
    if rc != 0 or fields.get("bytes") != "same":
        raise AssertionError("lzcheck --time: exit %s\n%s" % (rc, text))
    mb = int(fields["expanded"]) / 1e6
    return [("expansion stream", "%.1f MB expanded from %.1f MB" % (mb, int(fields["compressed"]) / 1e6)),
            ("expansion, Wine's LZCopy (file to file)", fields["lzcopy"].split("\t")[1]),
            ("expansion, ours (in memory, as the installer)", fields["ours"].split("\t")[1]),
            ("expansion, ours with the files read and written", fields["ours+io"].split("\t")[1]),
            ("expansion speed, ours / LZCopy", fields["ratio"] + " x"),
            ("expansion speed, ours with files / LZCopy", fields["ratio+io"] + " x")]


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("payload", help="payload directory")
    ap.add_argument("--build", default=os.path.join(ROOT, "build"), help="host build directory (default: build)")
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--no-default-run", action="store_true")
    ap.add_argument("--lz-stream", help="an SZDD stream to expand both ways")
    a = ap.parse_args()
    if not os.path.isdir(a.payload) or a.runs < 1:
        ap.error("a payload directory and at least one run are needed")

    os.environ["ORV_BUILD_DIR"] = os.path.abspath(a.build)
    os.environ["ORV_SOURCE_DIR"] = ROOT
    sys.path.insert(0, E2E)
    import harness as h  # noqa: E402
    import integration_flow as f  # noqa: E402
    import run as runner  # noqa: E402

    started_display = False
    if not os.path.exists(os.path.join(h.e2e_dir(), "xvfb.json")):
        if runner.setup() != 0:
            print("bench-install: no X display", file=sys.stderr)
            return 1
        started_display = True
    case = h.Case("bench-install")
    passed = False
    try:
        payload = payload_of(a.payload)
        if not payload:
            print("bench-install: %s holds no file" % a.payload, file=sys.stderr)
            return 1
        size = sum(os.path.getsize(p) for p in payload.values())
        first = next(iter(payload))
        setup = case.product(script=f.script(items=[first + ",First file"], options=()), licence=f.LICENCE,
                             payload=payload, test=False).build("bench.exe")
        rows = [("payload", "%d files, %.2f MB" % (len(payload), size / 1e6)),
                ("installer size", "%d bytes" % os.path.getsize(setup))]

        def one(at_once, name):
            pfx = case.prefix()
            r = pfx.run(setup, scenario="answer-defaults timeout=600", at_once=at_once, name=name, check=False)
            ok = r.ok and r.exit_code == 0
            missing = [n for n in payload if not pfx.exists(f.INSTALL_DIR + "\\" + n)]
            pfx.stop()
            if not ok or missing:
                raise AssertionError("run %s: exit %s, %s; %d files missing\n%s" % (
                    name, r.exit_code, r.reason, len(missing), r.log_text()))
            return measure(r, f.APP)

        results = [one(True, "at-once%d" % i) for i in range(a.runs)]
        whole = median([x[0] for x in results])
        startup = median([x[1] for x in results])
        own = median([x[2] for x in results])
        n = "median of %d" % a.runs
        rows += [("whole installation under Wine, dialogs answered at once (%s)" % n, fmt_s(whole)),
                 ("  each run", ", ".join(fmt_s(x[0]) for x in results)),
                 ("start-up to the first window (%s)" % n, fmt_ms(startup)),
                 ("installation less the time dialogs stood open (%s)" % n, fmt_s(own))]
        if not a.no_default_run:
            d = one(False, "default-mode")
            rows.append(("whole installation, driver's default mode (1 run, for comparison)", fmt_s(d[0])))
        if a.lz_stream:
            rows += expansion_rows(case, h, os.path.abspath(a.lz_stream))
        print("| what | figure |")
        print("|---|---|")
        for what, fig in rows:
            print("| %s | %s |" % (what, fig))
        passed = True
        return 0
    finally:
        case.finish(passed)
        if started_display:
            runner.stop_xvfb(os.path.join(h.e2e_dir(), "xvfb.json"))


if __name__ == "__main__":
    sys.exit(main())
