#!/usr/bin/env python3
"""The main job's run under Wine (scripts/main-job.sh builds first and calls this).

Runs the example product's installer (build/win/install.exe, or its 64-bit twin where
32-bit code would run emulated, see harness.arch()) in a fresh prefix, inside a Wine virtual
desktop (so that the screenshots show the frames, captions and the maximised setup window
that Windows shows), answering
every dialog with its default button and taking a screenshot of each (build/main-job/),
prints what was installed, runs the uninstaller from the Add/Remove Programs entry the same
way, and prints what is left. It goes as far as the built parts allow and says where it
stopped. Exit code 0 only when the whole job ran.
"""
import os
import re
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import desktop  # noqa: E402
import harness as h  # noqa: E402
import run as runner  # noqa: E402

UNINSTALL_KEY = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"


def say(text=""):
    print(text, flush=True)


def stop(text):
    say("\nmain job: stopped: " + text)
    return 1


def show_dialogs(r):
    for e in r.events:
        if e.get("event") == "match":
            w = e["window"]
            say("  dialog %r: %r" % (w["caption"], w["text"] or [c["text"] for c in w["controls"] if c["text"]][:6]))
        elif e.get("event") == "answer":
            say("    -> pressed button %d" % e["id"])


def show_tree(pfx, path):
    if not pfx.isdir(path):
        say("  %s: not there" % path)
        return
    names = pfx.tree(path)
    say("  %s: %d entries" % (path, len(names)))
    for n in names:
        full = path.rstrip("\\") + "\\" + n
        if n.endswith("\\"):
            say("    %s" % n)
        else:
            st = os.stat(pfx.host(full))
            say("    %-40s %8d bytes  %s" % (n, st.st_size, time.strftime("%Y-%m-%d %H:%M:%S", time.gmtime(st.st_mtime))))


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
    if desktop.use_virtual_desktop(pfx) == 0:
        say("  windows run in a virtual desktop of %s" % desktop.SIZE)
    else:
        say("  no virtual desktop (regedit failed): the screenshots will show no frames")
    if desktop.open_html_with_winebrowser(pfx) != 0:
        say("  no program for .html files (regedit failed): opening the documentation will fail")

    before = pfx.snapshot()
    say("\nmain job: installing with the default answers: %s" % installer)
    r = pfx.run(installer, scenario="answer-defaults timeout=1800", shots=True, check=False,
                timeout=2400, name="install")
    show_dialogs(r)
    say("  installer exit code: %s" % r.exit_code)
    if not r.ok:
        say(r.log_text())
        return stop("the installation did not run through: %s" % r.reason)

    after = pfx.snapshot()
    d = before.diff(after)
    reg = h.Registry(pfx.path)
    names = reg.subkeys(UNINSTALL_KEY)
    say("\nmain job: what was installed")
    say("  files added (%d):" % len(d["files_added"]))
    for f in d["files_added"]:
        say("    " + f)
    ours = [n for n in names if reg.value(UNINSTALL_KEY + "\\" + n, "UninstallString") and
            before.registry.get(("HKLM", (UNINSTALL_KEY[5:] + "\\" + n).lower())) is None]
    if not ours:
        return stop("no new Add/Remove Programs entry under %s" % UNINSTALL_KEY)
    key = UNINSTALL_KEY + "\\" + ours[0]
    say("  Add/Remove Programs key %s:" % key)
    for n, v in sorted(reg.key(key).items()):
        say("    %s = %r" % (n or "(default)", v))
    command = reg.value(key, "UninstallString")
    m = re.match(r"(.*?\.exe) (.*)$", command, re.I)
    if not m:
        return stop("cannot split the UninstallString %r" % command)
    script = m.group(2)
    install_dir = script.rsplit("\\", 1)[0]
    say("\n  installation directory:")
    show_tree(pfx, install_dir)
    programs = pfx.programs_folder()
    added_links = [f for f in d["files_added"] if f.lower().startswith(programs.lower())]
    say("\n  shortcuts (%d):" % len(added_links))
    for f in added_links:
        say("    " + f)
    say("\n  uninstall script %s:" % script)
    if pfx.exists(script):
        for line in pfx.uninstall_script(script).split(b"\r\n"):
            say("    " + line.decode("cp1252"))
    else:
        say("    not there")

    say("\nmain job: uninstalling with the Add/Remove Programs command: %s" % command)
    r = pfx.run(cmdline=command, scenario="answer-defaults timeout=1800", shots=True, check=False,
                timeout=2400, name="uninstall")
    show_dialogs(r)
    say("  uninstaller exit code: %s" % r.exit_code)
    if not r.ok:
        say(r.log_text())
        return stop("the uninstallation did not run through: %s" % r.reason)

    left = before.diff(pfx.snapshot())
    say("\nmain job: what is left compared with before the installation")
    for k in ("files_added", "files_removed", "files_changed", "keys_added", "keys_removed"):
        say("  %s (%d):" % (k.replace("_", " "), len(left[k])))
        for f in left[k]:
            say("    " + f)
    say("\nmain job: screenshots in %s" % case.artefact_dir)
    say("main job: done")
    return 0


if __name__ == "__main__":
    if len(sys.argv) == 2 and sys.argv[1] == "--cleanup":
        sys.exit(runner.cleanup())
    sys.exit(main())
