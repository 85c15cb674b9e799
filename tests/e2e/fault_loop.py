#!/usr/bin/env python3
"""The fault loop: every call of every platform operation, failing once.

For each subject it runs the program once with ORV_FAULT_COUNT, which counts every call of
every operation of the fault seam (and the installer's step boundaries, SequenceFault),
then once per call with that one call failing (ORV_FAULT=Op:N, ORV_FAULT_LOCAL=1 so that a
roll-back's uninstaller runs without the fault), each in a fresh copy of the prefix, every
dialog answered with its default button. After each run the prefix's disk and registry are
compared with the state before:

  install    the example product (default prefix). A run whose installation failed is
             judged as the roll-back left it; a run that completed despite the fault is
             judged after an uninstallation without faults. Nothing of the product may be
             left but the uninstaller in the Windows directory and the directories made
             before the uninstall script existed (the installation directory and its
             parents).
  driver     a product with a driver on nt40 (the driver test's service), judged the same.
  uninstall  the uninstaller of an installed example product, started as the Add/Remove
             Programs entry says: no file that the script names may be left changed (half
             deleted), and whatever is left must be reported in one of its messages.

It prints a table per subject: operation, calls, failures injected, runs clean, runs not
clean, and for each run not clean the difference. Options: --first-only (only the first
call of every operation), --ops A,B (only these operations), --skip-ops A,B (all but these),
--max-runs N (per subject),
--max-calls N (the first N calls of each operation), --sample K (with --max-calls: K more
calls beyond those, evenly spread up to the last counted),
-j N (runs at the same time), --subjects install,driver,uninstall, --json FILE (every run's
outcome). Exit code 0 when every run was clean, 1 otherwise, 2 on a usage error.

Runs outside CTest through scripts/fault-loop.sh (which starts Xvfb and makes the template
prefixes); the CI test tests/e2e/cases/test_fault_loop.py runs the first call of every operation.
"""
import argparse
import concurrent.futures
import glob
import json
import os
import re
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import harness as h  # noqa: E402
import integration_flow as f  # noqa: E402

INSTALL_DIR = f.INSTALL_DIR
UNINSTALLER = "C:\\windows\\UnstOrv.exe"
SCRIPT_PATH = INSTALL_DIR + "\\Uninst.orv"
UNINSTALL_COMMAND = UNINSTALLER + " " + SCRIPT_PATH
DRIVER_LINE = "NT,orvtest,drivers\\orvtest.sys,Orv test driver"
RUN_TIMEOUT = 600
SCENARIO = "answer-defaults timeout=150\n"
# A worker thread that cannot be started leaves the window open without an installation
# until the user closes it: the run ends when the dialog driver's time-out ends it.
NO_WORKER = "Orv Install internal error 110"
SHORT_SCENARIO = "answer-defaults timeout=30\n"
SUBJECTS = ("install", "driver", "uninstall")
# The operations whose first call in the driver product's installation belongs to the driver
# step (every other first call is the same as in the example product's installation).
DRIVER_OPS = ("GetFileVersionInfoA", "VerQueryValueA", "RegCreateKeyExA", "RegSetValueExA",
              "OpenSCManagerA", "OpenServiceA", "CreateServiceA", "ControlService", "StartServiceA")

# What the rules let an installation leave behind: the uninstaller in the Windows
# directory, and the directories made before the uninstall script existed (the
# installation directory, made by the directory dialog, and its parents).
KEPT = [UNINSTALLER.lower()] + [d.lower() + "\\" for d in ("C:\\Program Files\\Orv", INSTALL_DIR)]


def example_product(case):
    """The example product as a test build, packed again from its payload. Its one
    completion option (show the documentation) is switched off, so that answering the
    completion dialog with its default button opens no browser."""
    with open(os.path.join(h.source_dir(), "resources", "example", "SCRIPT"), "rb") as fh:
        script = h.without_documentation_option(fh.read())
    return h.example_product(case, script=script, repack=True).build()


def driver_product(case):
    case.need(h.win_file("orvtest.sys"))
    payload = dict(f.DEFAULT_PAYLOAD)
    payload["drivers\\orvtest.sys"] = h.win_file("orvtest.sys")
    return f.installer(case, f.script(drivers=[DRIVER_LINE]), payload=payload)


# ---------------------------------------------------------------------------------------
# Counting

def read_counts(path):
    """(program path, {operation: calls}) of one counting file."""
    with open(path, "rb") as fh:
        text = fh.read().replace(b"\0", b"").decode("latin-1")
    lines = text.split("\r\n")
    counts = {}
    for line in lines[1:]:
        m = re.match(r"(\S+) +(\d+)$", line)
        if m:
            counts[m.group(1)] = int(m.group(2))
    return lines[0].strip(), counts


def counts_of(directory, program_name):
    """The counts of the process whose program file is named program_name."""
    for path in sorted(glob.glob(os.path.join(directory, "count.*"))):
        program, counts = read_counts(path)
        if program.replace("/", "\\").rsplit("\\", 1)[-1].lower() == program_name.lower():
            return counts
    raise AssertionError("no counts of %s in %s" % (program_name, directory))


# ---------------------------------------------------------------------------------------
# Judging

def leftovers(before, after):
    d = before.diff(after)
    out = {}
    for k, v in d.items():
        v = [x for x in v if x.lower() not in KEPT]
        if v:
            out[k] = v
    return out


# The uninstaller's confirmation question, and the rule for a run where it could not be
# shown: the uninstaller takes that as "no" and removes nothing (the question's own failure
# leaves it no way to say more).
UNINSTALL_QUESTION = "Are you sure that you want to uninstall "
QUESTION_RULE = "the confirmation question could not be shown: taken as no, nothing removed"


def explained(problem):
    return isinstance(problem, dict) and "explained" in problem


def rollback_codes(result):
    """The exit codes of the uninstallers that the run started and the dialog driver saw end
    (other children, such as Wine's own helpers, are not the installation's)."""
    pids = {e.get("pid") for e in result.events
            if e.get("event") == "process" and (e.get("exe") or "").lower() == UNINSTALLER.rsplit("\\", 1)[1].lower()}
    return [c.get("code") for c in result.children if c.get("pid") in pids]


def completed(result):
    return any(w.get("caption") == "Installation complete" for w in result.dialogs)


def texts(results):
    out = []
    for r in results:
        for w in r.dialogs:
            out.append(w.get("text") or "")
            out += [c.get("text") or "" for c in w.get("controls", [])]
    return "\n".join(out).lower()


def unreported(left, report):
    """The leftovers that no message of the uninstaller names (a directory counts as named
    when a named path lies inside it)."""
    missing = []
    for k in ("files_added", "files_changed", "keys_added", "values_changed"):
        for item in left.get(k, []):
            low = item.lower()
            if k.startswith("keys") or k.startswith("values"):
                low = low.split("\\", 1)[1]
            if low.endswith("\\"):
                if low in report or low.rstrip("\\") in report:
                    continue
            elif low in report:
                continue
            missing.append(item)
    return missing


# ---------------------------------------------------------------------------------------
# Subjects

class Subject:
    """One program under the loop: how its prefix is prepared, how it is run, how a run is
    judged."""

    def __init__(self, name):
        self.name = name
        self.version = "nt40" if name == "driver" else "default"
        self.lock = threading.Lock()
        self.seen = {}  # (op, n): the texts of every dialog and message box of that run

    def prepare(self):
        case = h.Case("fault-loop-%s" % self.name)
        self.case = case
        if self.name == "driver":
            self.program = driver_product(case)
        else:
            self.program = example_product(case)
        # The state before: a fresh copy of the template (every run's copy is the same).
        pfx = case.prefix(self.version)
        self.before = pfx.snapshot()
        if self.name == "uninstall":
            r = pfx.run(self.program, scenario=SCENARIO, timeout=RUN_TIMEOUT, check=False, name="install")
            if not (r.ok and completed(r)):
                raise AssertionError("the installation before the uninstaller's runs failed: %s\n%s" % (
                    r.reason, r.log_text()))
            pfx.flush()
            self.installed = pfx.path
            self.named = self.script_files(pfx)
            self.contents = {p: pfx.read(p) for p in self.named if pfx.exists(p) and not pfx.isdir(p)}
        self.process = "UnstOrv.exe" if self.name == "uninstall" else os.path.basename(self.program)

    def script_files(self, pfx):
        data = pfx.uninstall_script(SCRIPT_PATH).decode("cp1252").split("\r\n")
        files = []
        for line in data[4:]:
            if line == ".":
                break
            files.append(line)
        return files

    def new_prefix(self, case):
        if self.name != "uninstall":
            return case.prefix(self.version)
        path = os.path.join(case.dir, "prefix1")
        pfx = h.Prefix(case, path, self.version)
        pfx.shared = h.copy_prefix(self.installed, path)
        case.prefixes.append(pfx)
        return pfx

    def start(self, pfx, env, name, scenario=SCENARIO):
        if self.name == "uninstall":
            return pfx.run(cmdline=UNINSTALL_COMMAND, scenario=scenario, env=env, timeout=RUN_TIMEOUT,
                           check=False, name=name)
        return pfx.run(self.program, scenario=scenario, env=env, timeout=RUN_TIMEOUT, check=False, name=name)

    def count(self):
        case = h.Case("fault-loop-%s-count" % self.name)
        pfx = self.new_prefix(case)
        counts_dir = os.path.join(case.dir, "counts")
        os.makedirs(counts_dir)
        r = self.start(pfx, {"ORV_FAULT_COUNT": pfx.win(os.path.join(counts_dir, "count"))}, "count")
        if not r.ok:
            raise AssertionError("the counting run failed: %s\n%s" % (r.reason, r.log_text()))
        pfx.flush()
        counts = counts_of(counts_dir, self.process)
        case.finish(passed=True)
        return counts

    def judge(self, op, n):
        """One run with the nth call of op failing: (clean, what is wrong or None, seconds)."""
        t0 = time.time()
        case = h.Case("fault-loop-%s-%s-%d" % (self.name, op, n))
        pfx = self.new_prefix(case)
        env = {"ORV_FAULT": "%s:%d" % (op, n), "ORV_FAULT_LOCAL": "1"}
        # The worker thread is the one thread the installer starts: without it the window
        # waits for the user, so that run is given a short time.
        r = self.start(pfx, env, "fault", SHORT_SCENARIO if op == "CreateThread" else SCENARIO)
        runs = [r]
        with self.lock:
            self.seen[(op, n)] = texts(runs)
        problem = explained = None
        if not r.ok and not any(w.get("text") == NO_WORKER for w in r.dialogs):
            problem = "the run did not end: %s" % r.reason
        elif any(c != 0 for c in rollback_codes(r)):
            # A roll-back too quick for the dialog driver is not seen at all; one that is seen
            # must have ended with 0. What it left is judged below, after the session ended.
            problem = "the roll-back ended with %r" % rollback_codes(r)
        elif self.name != "uninstall" and pfx.exists(SCRIPT_PATH):
            # The installation is there (completed, with or without its completion dialog):
            # a roll-back takes the script out, and nothing else does.
            u = pfx.run(cmdline=UNINSTALL_COMMAND, scenario=SCENARIO, timeout=RUN_TIMEOUT, check=False,
                        name="uninstall")
            if not u.ok:
                problem = "the uninstallation after the completed installation did not end: %s" % u.reason
        if problem is None:
            after = pfx.snapshot()
            left = leftovers(self.before, after)
            if self.name == "uninstall":
                half = [p for p, data in self.contents.items()
                        if pfx.exists(p) and not pfx.isdir(p) and pfx.read(p) != data]
                untouched = all(pfx.exists(p) and pfx.read(p) == data for p, data in self.contents.items())
                shown = [w for w in r.dialogs if not (w.get("text") or "").startswith(UNINSTALL_QUESTION)]
                missing = unreported(left, texts(runs))
                if half:
                    problem = {"half deleted": half}
                elif left and untouched and (shown or r.exit_code not in (0, None)):
                    pass  # stopped before removing anything, and said so
                elif left and untouched and not shown:
                    problem = {"nothing removed, nothing shown": r.exit_code}
                    if not any((w.get("text") or "").startswith(UNINSTALL_QUESTION) for w in r.dialogs):
                        explained = QUESTION_RULE
                elif missing:
                    problem = {"left and not reported": missing}
            elif left:
                problem = left
        passed = problem is None
        if not passed:
            with open(os.path.join(case.dir, "problem.json"), "w") as fh:
                json.dump(problem, fh, indent=1)
        # The prefix of a run not clean is kept only with ORV_E2E_KEEP=1 (there may be many).
        case.finish(passed=passed or os.environ.get("ORV_E2E_KEEP") != "1")
        if explained:
            problem = {"explained": explained, "left": problem}
        return passed, problem, time.time() - t0


def plan(counts, args):
    ops = sorted(counts)
    if args.ops:
        wanted = {o.strip() for o in args.ops.split(",") if o.strip()}
        ops = [o for o in ops if o in wanted]
    if args.skip_ops:
        unwanted = {o.strip() for o in args.skip_ops.split(",") if o.strip()}
        ops = [o for o in ops if o not in unwanted]
    runs = []
    for op in ops:
        last = 1 if args.first_only else counts[op]
        if args.max_calls is not None:
            last = min(last, args.max_calls)
        runs += [(op, n) for n in range(1, last + 1)]
        # A sample of the calls beyond the first max_calls, evenly spread up to the last.
        beyond = counts[op] - last
        k = 0 if args.first_only else min(getattr(args, "sample", 0) or 0, beyond)
        runs += [(op, c) for c in sorted({last + (i + 1) * beyond // k for i in range(k)})]
    if args.max_runs is not None:
        runs = runs[:args.max_runs]
    return runs


def loop(subject, args, say):
    t0 = time.time()
    subject.prepare()
    counts = subject.count()
    runs = plan(counts, args)
    say("%s: %d operations, %d calls; %d runs planned (counting and set-up took %.0f s)" % (
        subject.name, len(counts), sum(counts.values()), len(runs), time.time() - t0))
    outcome = {}
    with concurrent.futures.ThreadPoolExecutor(max_workers=args.jobs) as pool:
        futures = {pool.submit(subject.judge, op, n): (op, n) for op, n in runs}
        for fut in concurrent.futures.as_completed(futures):
            op, n = futures[fut]
            try:
                passed, problem, seconds = fut.result()
            except Exception as e:  # a broken run is a run not clean, with the reason
                passed, problem, seconds = False, "harness error: %r" % e, 0.0
            outcome[(op, n)] = (passed, problem)
            say("  %s %s:%d %s (%.0f s)%s" % (subject.name, op, n, "clean" if passed else "NOT CLEAN",
                                               seconds, "" if passed else " " + json.dumps(problem)))
    subject.case.finish(passed=True)
    return counts, outcome, time.time() - t0


def table(subject, counts, outcome):
    """The table: per operation its calls, the failures injected, the runs clean, the runs
    not clean that a rule explains, and the runs not clean otherwise; then each run not
    clean with its difference."""
    head = "%-28s %7s %9s %6s %10s %10s"
    lines = ["%s" % subject, head % ("operation", "calls", "injected", "clean", "explained", "not clean")]
    row = "%-28s %7d %9d %6d %10d %10d"

    def sums(runs):
        clean = sum(1 for v in runs if v[0])
        why = sum(1 for v in runs if not v[0] and explained(v[1]))
        return clean, why, len(runs) - clean - why

    for op in sorted(counts):
        mine = [v for (o, n), v in outcome.items() if o == op]
        lines.append(row % ((op, counts[op], len(mine)) + sums(mine)))
    lines.append(row % (("total", sum(counts.values()), len(outcome)) + sums(list(outcome.values()))))
    for (op, n), (passed, problem) in sorted(outcome.items()):
        if not passed:
            lines.append("  %s: %s:%d %s" % ("explained" if explained(problem) else "NOT CLEAN", op, n,
                                              json.dumps(problem)))
    return "\n".join(lines)


def unexplained(outcome):
    return [(k, v[1]) for k, v in sorted(outcome.items()) if not v[0] and not explained(v[1])]


def main(argv=None):
    p = argparse.ArgumentParser(description="Every call of every platform operation, failing once.")
    p.add_argument("--first-only", action="store_true", help="only the first call of every operation")
    p.add_argument("--ops", help="comma-separated operations (default: every counted one)")
    p.add_argument("--skip-ops", help="comma-separated operations left out")
    p.add_argument("--max-runs", type=int, help="at most this many fault runs per subject")
    p.add_argument("--max-calls", type=int, help="at most the first N calls of each operation")
    p.add_argument("--sample", type=int, default=0,
                   help="with --max-calls: also this many calls beyond the first N, evenly spread")
    p.add_argument("-j", "--jobs", type=int, default=1, help="runs at the same time")
    p.add_argument("--subjects", default=",".join(SUBJECTS), help="of %s" % ",".join(SUBJECTS))
    p.add_argument("--json", help="write every run's outcome to this file")
    args = p.parse_args(argv)
    subjects = [s.strip() for s in args.subjects.split(",") if s.strip()]
    if any(s not in SUBJECTS for s in subjects) or args.jobs < 1:
        p.print_usage(sys.stderr)
        return 2
    out_lock = threading.Lock()

    def say(text):
        with out_lock:
            print(text, flush=True)

    results = {}
    tables = []
    for name in subjects:
        counts, outcome, seconds = loop(Subject(name), args, say)
        results[name] = {"counts": counts, "seconds": round(seconds),
                         "runs": [{"op": o, "n": n, "clean": v[0], "problem": v[1]}
                                  for (o, n), v in sorted(outcome.items())]}
        tables.append(table(name, counts, outcome) + "\n(%.0f s)" % seconds)
    say("\n" + "\n\n".join(tables))
    if args.json:
        with open(args.json, "w") as fh:
            json.dump(results, fh, indent=1)
    dirty = sum(1 for r in results.values() for run in r["runs"] if not run["clean"] and not explained(run["problem"]))
    return 1 if dirty else 0


if __name__ == "__main__":
    sys.exit(main())
