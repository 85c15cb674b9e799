"""Single faults that used to leave part of an installation behind, each judged the way the
fault loop judges a run (tests/e2e/fault_loop.py): one call fails, the installer runs with
every dialog answered by its default button, the roll-back it starts (if any) runs without
the fault, and once the whole session has ended nothing of the product may be left but what
the rules keep (the uninstaller in the Windows directory, the directories made before the
uninstall script existed). A roll-back too quick for the dialog driver to see is judged by
what it left; one that was seen must have ended with 0.

Each case also names a text that the run must have shown, so that a call order that moved
makes the case fail instead of passing on some other, harmless call."""
import concurrent.futures

import harness as h
import fault_loop

CANNOT_RECORD = "could not write uninstall file"

# The example product's WriteFile calls in a fresh prefix: 1 the uninstaller's deployment;
# 2 to 9 the four header lines of the uninstall script (text, then CR LF); then the payload
# expansion's temporary files; then per file its bytes and its line (text, CR LF); then the
# two shortcuts' lines, the directory list, its ".", and the registration's lines.
# (operation:call, a text the run shows, what fails)
INSTALL_CASES = [
    ("WriteFile:3", "orv install internal error 7", "CR LF of the first header line"),
    ("WriteFile:6", "orv install internal error 7", "text of the third header line"),
    ("WriteFile:9", "orv install internal error 7", "CR LF of the script's own path"),
    ("WriteFile:FILE_TEXT", CANNOT_RECORD, "text of the first file's line"),
    ("WriteFile:FILE_CRLF", CANNOT_RECORD, "CR LF of the first file's line"),
    ("WriteFile:LINK_TEXT", CANNOT_RECORD, "text of the first shortcut's line"),
    ("WriteFile:LINK_CRLF", CANNOT_RECORD, "CR LF of the first shortcut's line"),
    ("WriteFile:DIR_CRLF", CANNOT_RECORD, "CR LF of the directory list's first line"),
]

# The driver product on NT 4: each step of the one driver (the file copy, the service key,
# the service), and the registration's lines around the driver section.
DRIVER_CASES = [
    ("WriteFile:DRIVER_COPY", "orv install internal error 352", "the driver file's copy"),
    ("RegSetValueExA:DRIVER_VALUE", "orv install internal error 55", "the service key's Start value"),
    ("CreateServiceA:1", "orv install internal error 63", "the service"),
    ("StartServiceA:1", "orv install internal error 67", "the service's start"),
    ("WriteFile:HKLM_TEXT", CANNOT_RECORD, "the registry section's root"),
    ("WriteFile:KEY_CRLF", CANNOT_RECORD, "CR LF of the Add/Remove Programs key"),
    ("WriteFile:DRIVER_TEXT", CANNOT_RECORD, "the driver's name"),
]


def judge_cases(name, cases, numbers):
    subject = fault_loop.Subject(name)
    subject.prepare()
    runs = []
    for spec, text, what in cases:
        op, n = spec.split(":")
        runs.append((op, int(numbers.get(n, n)), text, what))
    failures = []
    try:
        with concurrent.futures.ThreadPoolExecutor(max_workers=2) as pool:
            futures = {pool.submit(subject.judge, op, n): (op, n, text, what) for op, n, text, what in runs}
            for fut in concurrent.futures.as_completed(futures):
                op, n, text, what = futures[fut]
                passed, problem, _ = fut.result()
                shown = subject.seen.get((op, n), "")
                if text not in shown:
                    failures.append("%s:%d (%s): expected a box with %r, got:\n%s" % (op, n, what, text, shown))
                elif not passed:
                    failures.append("%s:%d (%s): expected nothing left, got %s" % (op, n, what, problem))
                else:
                    print("%s:%d (%s): clean" % (op, n, what))
    finally:
        subject.case.finish(passed=not failures)
    assert not failures, "\n".join(failures)


# Eight files (10 to 33), two shortcuts (34 to 37), then the directory list.
INSTALL_NUMBERS = {"FILE_TEXT": 11, "FILE_CRLF": 12, "LINK_TEXT": 34, "LINK_CRLF": 35, "DIR_CRLF": 39}
# Three files (10 to 18), two shortcuts (19 to 22), four directories and "." (23 to 32),
# the driver file, written from the payload (33), then "HKLM" (34, 35), the key (36, 37),
# "." (38, 39) and the driver's name (40, 41).
# RegSetValueExA: the service key's Type (1), then Start (2).
DRIVER_NUMBERS = {"DRIVER_COPY": 33, "HKLM_TEXT": 34, "KEY_CRLF": 37, "DRIVER_TEXT": 40, "DRIVER_VALUE": 2}


@h.timeout(1200)
def test_unrecorded_script_lines_leave_nothing(case):
    judge_cases("install", INSTALL_CASES, INSTALL_NUMBERS)


@h.timeout(1200)
def test_failed_driver_step_is_rolled_back(case):
    judge_cases("driver", DRIVER_CASES, DRIVER_NUMBERS)
