#!/usr/bin/env python3
"""Benchmark (not a test, not part of CI): how long an installation takes under Wine, ours
beside makensis's silent installation of the same payload.

  scripts/bench-install.py [--build DIR] [--runs N] [--no-default-run] [--no-peer]
                           [--lz-stream FILE] [--columns N --column I] [--json FILE]
                           PAYLOAD_DIR

Builds ours with `orv build`, as a publisher does (the shipped stub and uninstaller of
build/win, CHECKSUM included), from the payload directory (every file below it, installed
under the same relative names; a medium payload is some 5 MB in about 100 files), with an
install script that makes one shortcut and offers nothing to run at the end. Unless
--no-peer, it also builds the comparison installers with makensis from
tests/bench/peer.nsi, zlib and solid LZMA: the same files into the same folder under
Program Files, one shortcut in a program folder, an uninstaller and an Add/Remove Programs
entry.

Then, N times (default 5), each in a fresh prefix copied from the same template, it runs
ours under orvdrive's --at-once mode with every dialog answered by its default button as
soon as it is ready, and each peer with /S (silent: no dialog) under orvdrive too, so that
both are timed by the same clock from the process's start to its end; the runs alternate
(ours, zlib, LZMA, ours, ...) so that a change in the machine's load falls on all alike.
After each run it checks that every file and the shortcut arrived. Printed, as Markdown
table rows (medians of the N runs):

- the whole installation, ours and each peer's: from the process start to its end;
- ours: the start-up, from the process start to its first window;
- ours: the whole less the time its dialogs stood open before their answers (the driver's
  reaction, a few milliseconds each);
- ours: where the time goes: from the start to the first window, from there or from each
  answer to the next dialog (named by its caption), and from the last answer to the end;
- for comparison, one run of ours under the driver's default mode (its settle pauses and
  100 ms looks, as the end-to-end tests run); --no-default-run leaves it out.

With --lz-stream FILE (an SZDD stream, e.g. a product's DATA made by orv pack), also the
expansion speed of Wine's LZCopy and of our expander on it, in the same run (lzcheck.exe
--time, median of 5 alternating runs; MB = 10^6 bytes of expanded data).

Rows are "| what | figure |"; with --columns N --column I the figure stands in column I
(1-based) of N figure columns, the others empty (scripts/bench.sh puts them in its table,
in the medium set's column). --json FILE also writes the figures as JSON.

Times come from orvdrive's log (its "ms" field: milliseconds since orvdrive started, in
steps of the platform's timer). Uses tests/e2e/harness/: the build directory's Xvfb and
template prefixes are reused when there, else made (and Xvfb stopped at the end). The work
directory is build/e2e/work/bench-install/.
"""
import argparse
import contextlib
import json
import os
import shutil
import statistics
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
E2E = os.path.join(ROOT, "tests", "e2e")
PEER_NSI = os.path.join(ROOT, "tests", "bench", "peer.nsi")
PEERS = (("zlib", []), ("lzma", ["-DLZMA"]))
PEER_NAMES = {"zlib": "makensis, zlib", "lzma": "makensis, solid LZMA"}
SHORTCUT = "First file"


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


def phases(events, pid, start, end):
    """Where ours spends its time, from the driver's log: [(what, ms)], from the start to the
    first window, from there (or from the answer to the dialog before) to each dialog, and
    from the last answer to the end. Each dialog is named by its caption."""
    out = []
    last, last_what = start, "start"
    for e in events:
        if e.get("event") == "window" and e.get("pid") == pid and last is not None:
            what = "main window" if e.get("class") != "#32770" else '"%s"' % e.get("caption", "")
            out.append(("%s to %s" % (last_what, what), e["ms"] - last))
            last, last_what = (e["ms"], what) if e.get("class") != "#32770" else (None, None)
        elif e.get("event") == "answer":
            last, last_what = e["ms"], "answer"
    if last is not None and end is not None:
        out.append(("answer to the end", end - last))
    return out


def measure(r):
    """(whole, start-up, own, phases) in milliseconds from one run's log; None where missing."""
    ev = r.events
    start = first_ms(ev, lambda e: e.get("event") == "start")
    pid = next((e.get("pid") for e in ev if e.get("event") == "start"), None)
    end = first_ms(ev, lambda e: e.get("event") == "exit" and e.get("main"))
    first = first_ms(ev, lambda e: e.get("event") == "window" and e.get("pid") == pid)
    if start is None or end is None:
        return None, None, None, []
    # The time dialogs stood open: from their first sight ("window") to the answer.
    seen = {}
    waiting = 0
    for e in ev:
        if e.get("event") == "window":
            seen.setdefault(e.get("hwnd"), e.get("ms"))
        elif e.get("event") == "answer" and e.get("hwnd") in seen:
            waiting += e["ms"] - seen[e["hwnd"]]
    whole = end - start
    return whole, (first - start) if first is not None else None, whole - waiting, phases(ev, pid, start, end)


def fmt_s(ms):
    return "n/a" if ms is None else "%.2f s" % (ms / 1000.0)


def fmt_ms(ms):
    return "n/a" if ms is None else "%d ms" % ms


def median(values):
    values = [v for v in values if v is not None]
    return statistics.median(values) if values else None


def link_tree(src, dst):
    """dst: the payload's files, hard-linked where the file system allows, else copied (times
    kept: the file list records them)."""
    def link(s, d):
        try:
            os.link(s, d)
        except OSError:
            shutil.copy2(s, d)
    shutil.copytree(src, dst, copy_function=link)


def build_ours(case, f, payload_dir, first, build):
    product = os.path.join(case.dir, "product")
    shutil.rmtree(product, ignore_errors=True)
    os.makedirs(product)
    link_tree(payload_dir, os.path.join(product, "payload"))
    with open(os.path.join(product, "SCRIPT"), "wb") as out:
        out.write(f.script(items=[first + "," + SHORTCUT], options=()).encode("cp1252"))
    with open(os.path.join(product, "LICENCE"), "wb") as out:
        out.write(f.LICENCE.encode("cp1252"))
    setup = os.path.join(case.dir, "bench.exe")
    win = os.path.join(build, "win")
    cmd = [os.path.join(build, "orv"), "build", "-q", product, "-o", setup,
           "--stub", os.path.join(win, "install_stub.exe"), "--uninstaller", os.path.join(win, "uninstall.exe")]
    p = subprocess.run(cmd, stdin=subprocess.DEVNULL, capture_output=True, text=True)
    if p.returncode != 0:
        raise RuntimeError("orv build failed (%d):\n%s" % (p.returncode, p.stderr))
    return setup


def build_peer(case, payload_dir, first, name, flags):
    setup = os.path.join(case.dir, "peer-%s.exe" % name)
    cmd = ["makensis", "-V1", "-DPAYLOAD=" + os.path.abspath(payload_dir), "-DOUTFILE=" + setup,
           "-DFIRST=" + first] + flags + [PEER_NSI]
    p = subprocess.run(cmd, stdin=subprocess.DEVNULL, capture_output=True, text=True, cwd=case.dir)
    if p.returncode != 0:
        raise RuntimeError("makensis failed (%d):\n%s%s" % (p.returncode, p.stdout, p.stderr))
    return setup


def expansion(case, h, stream):
    pfx = case.prefix()
    report = "C:\\lzreport.txt"
    rc = pfx.wine([h.win_file("lzcheck.exe"), "--time", pfx.win(stream), report, "5"], timeout=3600)
    text = pfx.read(report).decode("cp1252") if pfx.exists(report) else ""
    pfx.stop()
    fields = dict(line.split("\t", 1) for line in text.split("\r\n") if "\t" in line)
    if rc != 0 or fields.get("bytes") != "same":
        raise AssertionError("lzcheck --time: exit %s\n%s" % (rc, text))
    return fields


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("payload", help="payload directory")
    ap.add_argument("--build", default=os.environ.get("BUILD", os.path.join(ROOT, "build")),
                    help="host build directory (default: build)")
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--no-default-run", action="store_true")
    ap.add_argument("--no-peer", action="store_true", help="leave makensis's installers out")
    ap.add_argument("--lz-stream", help="an SZDD stream to expand both ways")
    ap.add_argument("--columns", type=int, default=1, help="figure columns of the table")
    ap.add_argument("--column", type=int, default=1, help="the column of the figures (1-based)")
    ap.add_argument("--lz-column", type=int, help="the column of the expansion rows (default: --column)")
    ap.add_argument("--json", help="also write the figures to this file")
    a = ap.parse_args()
    if not os.path.isdir(a.payload) or a.runs < 1 or not 1 <= a.column <= a.columns:
        ap.error("a payload directory, at least one run and a column within the columns are needed")
    build = os.path.abspath(a.build)
    for need in ("orv", "win/install_stub.exe", "win/uninstall.exe", "win/orvdrive.exe"):
        if not os.path.exists(os.path.join(build, need)):
            print("bench-install: %s is not built" % os.path.join(build, need), file=sys.stderr)
            return 1
    peers = [] if a.no_peer else list(PEERS)
    if peers and not shutil.which("makensis"):
        print("bench-install: makensis not found (Debian package nsis); --no-peer leaves it out", file=sys.stderr)
        return 1

    os.environ["ORV_BUILD_DIR"] = build
    os.environ["ORV_SOURCE_DIR"] = ROOT
    sys.path.insert(0, E2E)
    import harness as h  # noqa: E402
    import integration_flow as f  # noqa: E402
    import run as runner  # noqa: E402

    started_display = False
    if not os.path.exists(os.path.join(h.e2e_dir(), "xvfb.json")):
        with contextlib.redirect_stdout(sys.stderr):  # stdout carries the rows only
            display = runner.setup()
        if display != 0:
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
        setups = {"ours": build_ours(case, f, a.payload, first, build)}
        for name, flags in peers:
            setups[name] = build_peer(case, a.payload, first, name, flags)
        shortcut = lambda pfx: pfx.programs_folder() + "\\" + f.APP + "\\" + SHORTCUT + ".lnk"  # noqa: E731

        def one(which, at_once, name):
            pfx = case.prefix()
            if which == "ours":
                r = pfx.run(setups[which], scenario="answer-defaults timeout=600", at_once=at_once, name=name,
                            check=False)
            else:  # silent: any dialog is a failure
                r = pfx.run(setups[which], args=["/S"], scenario="end timeout=600", at_once=at_once, name=name,
                            check=False)
            ok = r.ok and r.exit_code == 0
            missing = [n for n in payload if not pfx.exists(f.INSTALL_DIR + "\\" + n)]
            if not pfx.exists(shortcut(pfx)):
                missing.append(shortcut(pfx))
            pfx.stop()
            if not ok or missing:
                raise AssertionError("run %s: exit %s, %s; %d files missing (%s)\n%s" % (
                    name, r.exit_code, r.reason, len(missing), missing[:3], r.log_text()))
            # Only what the next run needs stays: the prefixes are some 200 MB each.
            shutil.rmtree(pfx.path, ignore_errors=True)
            case.prefixes.remove(pfx)
            return measure(r)

        results = {w: [] for w in setups}
        for i in range(a.runs):
            for w in setups:
                results[w].append(one(w, True, "%s-%d" % (w, i)))
                print("bench-install: run %d %s %s" % (i + 1, w, fmt_s(results[w][-1][0])), file=sys.stderr)
        n = "median of %d" % a.runs if a.runs > 1 else "1 run"
        each = lambda w: ", ".join("%.2f" % (x[0] / 1000.0) for x in results[w])  # noqa: E731
        fig = {"runs": a.runs, "payload_files": len(payload), "payload_bytes": size,
               "installer_bytes": {w: os.path.getsize(s) for w, s in setups.items()},
               "whole_ms": {w: median([x[0] for x in results[w]]) for w in setups},
               "each_ms": {w: [x[0] for x in results[w]] for w in setups},
               "startup_ms": median([x[1] for x in results["ours"]]),
               "own_ms": median([x[2] for x in results["ours"]])}
        # The phases of ours, median of each over the runs that had the same phases.
        runs_phases = [x[3] for x in results["ours"] if x[3]]
        if runs_phases and all([w for w, _ in p] == [w for w, _ in runs_phases[0]] for p in runs_phases):
            fig["phases_ms"] = [[w, median([p[i][1] for p in runs_phases])] for i, (w, _) in enumerate(runs_phases[0])]
        rows = []
        if a.columns == 1:
            rows += [("payload", "%d files, %.2f MB" % (len(payload), size / 1e6)),
                     ("installer size, ours (orv build)", "%d bytes" % fig["installer_bytes"]["ours"])]
            rows += [("installer size, %s" % PEER_NAMES[w], "%d bytes" % fig["installer_bytes"][w]) for w, _ in peers]
        rows.append(("Installation under Wine: ours, every dialog answered at once (%s)" % n,
                     "%s (runs: %s s)" % (fmt_s(fig["whole_ms"]["ours"]), each("ours"))))
        for w, _ in peers:
            ratio = ""
            if fig["whole_ms"]["ours"] and fig["whole_ms"][w]:
                ratio = "; ours takes %.2f times as long" % (fig["whole_ms"]["ours"] / fig["whole_ms"][w])
            rows.append(("Installation under Wine: %s, silent /S (%s)" % (PEER_NAMES[w], n),
                         "%s (runs: %s s%s)" % (fmt_s(fig["whole_ms"][w]), each(w), ratio)))
        rows += [("Installation: ours, start-up to the first window (%s)" % n, fmt_ms(fig["startup_ms"])),
                 ("Installation: ours less the time its dialogs stood open (%s)" % n, fmt_s(fig["own_ms"]))]
        if "phases_ms" in fig:
            rows.append(("Installation: ours, where the time goes (%s of each)" % n,
                         "; ".join("%s %s" % (w, fmt_ms(ms)) for w, ms in fig["phases_ms"])))
        if not a.no_default_run:
            d = one("ours", False, "default-mode")
            fig["default_mode_ms"] = d[0]
            rows.append(("Installation: ours, the driver's default mode (1 run, for comparison)", fmt_s(d[0])))
        if a.lz_stream:
            lz = expansion(case, h, os.path.abspath(a.lz_stream))
            mb = int(lz["expanded"]) / 1e6
            fig["lz"] = {k: lz[k] for k in ("expanded", "compressed", "lzcopy", "ours", "ours+io", "ratio", "ratio+io")}
            rows += [("Expansion under Wine: the stream", "%.1f MB expanded from %.1f MB" % (
                         mb, int(lz["compressed"]) / 1e6)),
                     ("Expansion under Wine: LZCopy (file to file)", lz["lzcopy"].split("\t")[1]),
                     ("Expansion under Wine: ours (in memory, as the installer)", lz["ours"].split("\t")[1]),
                     ("Expansion under Wine: ours with the files read and written", lz["ours+io"].split("\t")[1]),
                     ("Expansion under Wine: speed of ours / LZCopy (in memory; with files)",
                      "%s x; %s x" % (lz["ratio"], lz["ratio+io"]))]
        if a.columns == 1:
            print("| what | figure |")
            print("|---|---|")
        for what, figure in rows:
            cells = [""] * a.columns
            col = a.lz_column if what.startswith("Expansion") and a.lz_column else a.column
            cells[min(max(col, 1), a.columns) - 1] = figure
            print("| %s |%s" % (what, "".join(" %s |" % c if c else " |" for c in cells)))
        if a.json:
            with open(a.json, "w") as out:
                json.dump(fig, out, indent=1)
        passed = True
        return 0
    finally:
        case.finish(passed)
        if started_display:
            runner.stop_xvfb(os.path.join(h.e2e_dir(), "xvfb.json"))


if __name__ == "__main__":
    sys.exit(main())
