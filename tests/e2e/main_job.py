#!/usr/bin/env python3
"""The main job's run under Wine (scripts/main-job.sh builds first and calls this).

Runs the example product's installer (build/win/install.exe, or its 64-bit twin where
32-bit code would run emulated, see harness.arch()) in a fresh prefix, inside a Wine virtual
desktop (so that the screenshots show the frames, captions and the maximised setup window
that Windows shows), answering
every dialog with its default button and taking a screenshot of each (build/main-job/),
prints what was installed, runs the uninstaller from the Add/Remove Programs entry the same
way, and prints what is left. It goes as far as the built parts allow and says where it
stopped. Exit code 0 only when the whole job ran clean (orv_try.run_through: no
warning or error box, nothing left but the shared uninstaller).
"""
import os
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import harness as h  # noqa: E402
import orv_try  # noqa: E402
import run as runner  # noqa: E402


def say(text=""):
    print(text, flush=True)


def stop(text):
    say("\nmain job: stopped: " + text)
    return 1


def main():
    case = h.Case("main-job")
    case.artefact_dir = os.path.join(h.build_dir(), "main-job")
    os.makedirs(case.artefact_dir, exist_ok=True)
    for f in os.listdir(case.artefact_dir):
        if f.endswith(".png"):
            os.remove(os.path.join(case.artefact_dir, f))
    try:
        return job(case)
    finally:
        case.finish(passed=True)


def job(case):
    shipped = h.arch() == "win32" or os.environ.get("ORV_MAIN_JOB_SHIPPED") == "1"
    installer = h.shipped_file("install.exe") if shipped else h.win_file("install.exe")
    if not shipped:
        say("main job: this machine runs 32-bit code only under emulation (minutes per dialog):")
        say("  running the 64-bit build of the same sources; ORV_MAIN_JOB_SHIPPED=1 runs the")
        say("  shipped 32-bit build/win/install.exe instead")
    if not os.path.exists(h.win_file("orvdrive.exe")):
        return stop("the dialog driver orvdrive.exe is not built")
    if not os.path.exists(installer):
        return stop("the example installer %s is not built (see the build's output above)" % installer)

    say("main job: Wine prefix (%s) ..." % h.arch())
    t0 = time.time()
    pfx = case.prefix()
    say("  ready after %.0f s: %s" % (time.time() - t0, pfx.path))
    problems = orv_try.run_through(pfx, installer, say, shots=True)
    say("\nmain job: screenshots in %s" % case.artefact_dir)
    if problems:
        return stop("; ".join(problems))
    say("main job: done")
    return 0


if __name__ == "__main__":
    if len(sys.argv) == 2 and sys.argv[1] == "--cleanup":
        sys.exit(runner.cleanup())
    sys.exit(main())
