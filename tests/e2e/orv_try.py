"""orv try: an installer installed and uninstalled under Wine with the default answers.

  orv_try.py --kit DIR [--windows 95|98|me|nt4|2000|default] [--screenshots DIR] [--keep]
             [--templates DIR] SETUP.EXE

For each Windows setting (default: every one in turn) a fresh Wine prefix is made, reporting
that version, with a virtual desktop and a program for .html files. The installer runs there
with every dialog answered by its default button; what it installed is printed (files,
shortcuts, the Add/Remove Programs values, the uninstall script), then the Add/Remove
Programs command uninstalls it the same way, and what is left is printed.

A setting fails when a dialog other than the installer's own dialogs, a question answered
with OK, or the closing "Uninstallation complete." appears (a warning or an error box), when
a program ends with another code than 0, when the installation makes no Add/Remove Programs
entry, or when anything but the shared uninstaller is left afterwards.

--kit DIR: the kit's folder of Windows files (the dialog driver orvdrive.exe). The work
(prefixes, Xvfb) happens in a temporary directory, removed at the end unless --keep.
--templates DIR keeps the template prefix there for later runs. --screenshots DIR saves a
picture of every dialog (DIR/SETTING/NN-....png; needs ImageMagick's import).

Exit status: 0 every setting clean, 1 a setting failed, 2 wrong usage or Wine/Xvfb missing.
This module is also the main job's flow for the example product (main_job.py).
"""
import argparse
import os
import re
import shutil
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import desktop  # noqa: E402
import harness as h  # noqa: E402

UNINSTALL_KEY = h.UNINSTALL_ROOT
SHARED_UNINSTALLER = h.SHARED_UNINSTALLER
# The installer's own dialogs (the rest are message boxes).
OWN_DIALOGS = ("Choose folder", "Software Licence Agreement", "Select Program Folder", "Installation complete")
CLOSING = "Uninstallation complete."
SETTINGS = {"95": "win95", "98": "win98", "me": "winme", "nt4": "nt40", "2000": "win2k", "default": "default"}
RUN_TIMEOUT = 2400
SCENARIO = "answer-defaults timeout=1800"
INSTALL_HINT = "install them with: apt install wine wine32 xvfb"


def show_dialogs(r, say):
    for e in r.events:
        if e.get("event") == "match":
            w = e["window"]
            say("  dialog %r: %r" % (w["caption"], w["text"] or [c["text"] for c in w["controls"] if c["text"]][:6]))
        elif e.get("event") == "answer":
            say("    -> pressed button %d" % e["id"])


def show_tree(pfx, path, say):
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


def warning_boxes(r):
    """The dialogs of a run that are neither the installer's own dialogs, nor a question
    (a box with Cancel) answered with OK, nor the uninstaller's closing message of a
    complete removal: "caption: text" of each."""
    answers = {e.get("hwnd"): e.get("id") for e in r.events if e.get("event") == "answer"}
    out = []
    for e in r.events:
        if e.get("event") != "match":
            continue
        w = e["window"]
        text = w.get("text") or ""
        if w.get("caption") in OWN_DIALOGS and w.get("class") == "#32770":
            continue
        buttons = {c["id"] for c in w["controls"] if c["class"].lower() == "button"}
        if 2 in buttons and answers.get(e.get("hwnd")) == 1:
            continue
        if text == CLOSING or text.startswith(CLOSING + "\r\n"):
            continue
        out.append("%s: %s" % (w.get("caption"), text.replace("\r\n", " ")))
    return out


def run_with_defaults(pfx, what, say, shots, **run):
    """Runs a program with every dialog answered by its default button; the problems seen."""
    r = pfx.run(scenario=SCENARIO, shots=shots, check=False, timeout=RUN_TIMEOUT, name=what, **run)
    show_dialogs(r, say)
    say("  %s exit code: %s" % (what, r.exit_code))
    problems = ["%s shows a warning or error box: %s" % (what, b) for b in warning_boxes(r)]
    if not r.ok:
        say(r.log_text())
        problems.append("the %s did not run through: %s" % (what, r.reason))
    elif r.exit_code != 0:
        problems.append("the %s ended with exit code %s" % (what, r.exit_code))
    return problems


def show_installed(pfx, before, key, say):
    d = before.diff(pfx.snapshot())
    reg = h.Registry(pfx.path)
    say("\nwhat was installed")
    say("  files added (%d):" % len(d["files_added"]))
    for f in d["files_added"]:
        say("    " + f)
    say("  Add/Remove Programs key %s:" % key)
    for n, v in sorted(reg.key(key).items()):
        say("    %s = %r" % (n or "(default)", v))
    command = reg.value(key, "UninstallString")
    m = re.match(r"(.*?\.exe) (.*)$", command, re.I)
    script = m.group(2) if m else None
    if script:
        say("\n  installation directory:")
        show_tree(pfx, script.rsplit("\\", 1)[0], say)
    programs = pfx.programs_folder()
    links = [f for f in d["files_added"] if f.lower().startswith(programs.lower())]
    say("\n  shortcuts (%d):" % len(links))
    for f in links:
        say("    " + f)
    say("\n  uninstall script %s:" % script)
    if script and pfx.exists(script):
        for line in pfx.uninstall_script(script).split(b"\r\n"):
            say("    " + line.decode("cp1252"))
    else:
        say("    not there")
    return command


def leftovers(before, pfx):
    """What differs from before the installation, but the shared uninstaller."""
    left = before.diff(pfx.snapshot())
    return {k: [x for x in v if x.lower() != SHARED_UNINSTALLER.lower()] for k, v in left.items()}


def run_through(pfx, installer, say, shots=False):
    """Installs, reports, uninstalls and reports what is left in a prepared prefix; returns
    the problems found (an empty list: clean)."""
    if desktop.use_virtual_desktop(pfx) != 0:
        say("  no virtual desktop (regedit failed): the screenshots will show no frames")
    if desktop.open_html_with_winebrowser(pfx) != 0:
        say("  no program for .html files (regedit failed): opening a document will fail")
    before = pfx.snapshot()
    say("\ninstalling with the default answers: %s" % installer)
    problems = run_with_defaults(pfx, "installer", say, shots, program=installer)
    key = h.uninstall_entry(pfx.registry(), before) if not problems else None
    if not problems and not key:
        problems.append("the installation made no Add/Remove Programs entry under %s" % UNINSTALL_KEY)
    if key:
        command = show_installed(pfx, before, key, say)
        say("\nuninstalling with the Add/Remove Programs command: %s" % command)
        problems += run_with_defaults(pfx, "uninstaller", say, shots, cmdline=command)
    left = leftovers(before, pfx)
    say("\nwhat is left compared with before the installation (but %s)" % SHARED_UNINSTALLER)
    for k in ("files_added", "files_removed", "files_changed", "keys_added", "keys_removed", "values_changed"):
        say("  %s (%d):" % (k.replace("_", " "), len(left[k])))
        for f in left[k]:
            say("    " + f)
        problems += ["left behind (%s): %s" % (k.replace("_", " "), f) for f in left[k]]
    return problems


def missing_tools(shots):
    need = ["wine", "wineserver"] + ([] if os.environ.get("ORV_E2E_DISPLAY") else ["Xvfb"])
    return [t for t in need + (["import"] if shots else []) if not shutil.which(t)]


def try_setting(installer, version, shots_dir, say):
    case = h.Case("try-" + version)
    if shots_dir:
        case.artefact_dir = os.path.join(shots_dir, version)
    passed = False
    try:
        pfx = case.prefix("default")
        if version != "default":
            h.set_reported_version(pfx.path, version)
        problems = run_through(pfx, installer, say, shots=bool(shots_dir))
        passed = not problems
        return problems
    finally:
        case.finish(passed)


def main(argv=None):
    ap = argparse.ArgumentParser(prog="orv try", description="Installs and uninstalls an installer under Wine.")
    ap.add_argument("--kit", required=True)
    ap.add_argument("--windows", choices=sorted(SETTINGS))
    ap.add_argument("--screenshots")
    ap.add_argument("--keep", action="store_true")
    ap.add_argument("--templates")
    ap.add_argument("setup")
    args = ap.parse_args(argv)

    def say(text=""):
        print(text, flush=True)

    if not os.path.isfile(args.setup):
        print("orv try: error: %s: no such file" % args.setup, file=sys.stderr)
        return 2
    missing = missing_tools(args.screenshots)
    if missing:
        print("orv try: error: %s not found: orv try runs the installer under Wine in a headless X "
              "server; %s%s" % (", ".join(missing), INSTALL_HINT, " imagemagick" if "import" in missing else ""),
              file=sys.stderr)
        return 2
    drive = os.path.join(args.kit, "orvdrive.exe")
    if not os.path.isfile(drive):
        print("orv try: error: the kit's dialog driver %s was not found" % drive, file=sys.stderr)
        return 2
    work = tempfile.mkdtemp(prefix="orv-try-")
    h.use_kit(os.path.abspath(args.kit), work, args.templates and os.path.abspath(args.templates))
    import run as runner  # after use_kit: Xvfb's note goes into the work directory
    installer = os.path.abspath(args.setup)
    shots = args.screenshots and os.path.abspath(args.screenshots)
    versions = [SETTINGS[args.windows]] if args.windows else list(h.VERSIONS)
    results = {}
    try:
        if not runner.start_xvfb():
            print("orv try: error: no free X display for Xvfb", file=sys.stderr)
            return 2
        say("orv try: making the Wine prefix ...")
        h.make_template("default")
        for v in versions:
            say("\n======== %s: Windows %s" % (installer, v))
            results[v] = try_setting(installer, v, shots, say)
    finally:
        runner.cleanup()
        if args.keep:
            say("\nwork directory kept: %s" % work)
        else:
            shutil.rmtree(work, ignore_errors=True)
    say("\norv try: summary")
    for v, problems in results.items():
        say("  %-8s %s" % (v, "clean" if not problems else "FAILED"))
        for p in problems:
            say("           " + p)
    if shots:
        say("screenshots in %s" % shots)
    return 1 if any(results.values()) else 0


if __name__ == "__main__":
    sys.exit(main())
