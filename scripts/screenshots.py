#!/usr/bin/env python3
"""Photographs every window a user of a product's installer sees (scripts/screenshots.sh).

  screenshots.py INSTALLER OUT_DIR [--docs DOCS_IMAGES_DIR]

Runs INSTALLER in a fresh Wine prefix inside a virtual desktop (frames, captions, the
maximised setup window), headless on the harness's Xvfb screen: an installation answering
every dialog with its default button, the uninstallation from its Add/Remove Programs
command, and an installation whose licence is declined. Every dialog is photographed into
OUT_DIR as NN-NAME.png (8-bit palette). With --docs, the example product's pictures are
also copied to their fixed names in DOCS_IMAGES_DIR (docs/images), where the
documentation shows them.
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
import desktop  # noqa: E402
import harness as h  # noqa: E402

# How long a dialog is given to be drawn before it is photographed.
SETTLE = 1.0

# The pictures the documentation shows, by the window they show.
DOC_NAMES = [
    (lambda c, t: t.startswith("Are you sure you want to install "), "confirm"),
    (lambda c, t: c == "Software Licence Agreement", "licence"),
    (lambda c, t: c == "Choose folder", "choose-folder"),
    (lambda c, t: t.startswith("This directory does not exist."), "create-folder"),
    (lambda c, t: c == "Select Program Folder", "program-folder"),
    (lambda c, t: c == "Installation complete", "complete"),
    (lambda c, t: t.startswith("Are you sure that you want to uninstall "), "uninstall-confirm"),
    (lambda c, t: t.startswith(("Uninstallation complete.", "Partial uninstallation complete.")), "uninstall-complete"),
    (lambda c, t: t == "Installation cancelled", "licence-declined"),
]


def say(text):
    print(text, flush=True)


def name_of(window):
    caption, text = window.get("caption") or "", window.get("text") or ""
    for test, name in DOC_NAMES:
        if test(caption, text):
            return name
    return re.sub(r"[^a-z0-9]+", "-", (caption or text or "window").lower()).strip("-")[:40] or "window"


class Camera:
    """Takes the harness's screenshot requests after a short wait, so that the dialog has
    been drawn, and remembers the files in order."""

    def __init__(self, case):
        self.case = case
        self.taken = []
        self.plain = case.screenshot
        case.screenshot = self.shoot

    def shoot(self, name):
        time.sleep(SETTLE)
        path = self.plain(name)
        self.taken.append(path)
        return path

    def since(self, start):
        return self.taken[start:]


def keep(run, shots, out_dir, number, names_seen):
    """Pairs the run's photographed dialogs with their pictures and stores them."""
    matched = [e["window"] for e in run.events if e.get("event") == "match"]
    kept = []
    for window, path in zip(matched, shots):
        if not path or not os.path.exists(path):
            continue
        name = name_of(window)
        number += 1
        target = os.path.join(out_dir, "%02d-%s.png" % (number, name))
        # An 8-bit palette: a fraction of the size, and no visible difference for dialogs.
        rc = subprocess.run(["convert", path, "-colors", "256", "PNG8:" + target]).returncode
        if rc != 0:
            shutil.copyfile(path, target)
        names_seen.setdefault(name, target)
        kept.append(target)
        say("  %s  (%s)" % (os.path.basename(target), window.get("caption") or window.get("text")))
    if len(matched) != len(shots):
        say("  note: %d dialogs, %d pictures" % (len(matched), len(shots)))
    return number


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("installer")
    ap.add_argument("out_dir")
    ap.add_argument("--docs")
    args = ap.parse_args()
    installer = os.path.abspath(args.installer)
    out_dir = os.path.abspath(args.out_dir)
    os.makedirs(out_dir, exist_ok=True)
    for f in os.listdir(out_dir):
        if f.endswith(".png"):
            os.remove(os.path.join(out_dir, f))

    case = h.Case("screenshots")
    case.artefact_dir = os.path.join(case.dir, "raw")
    camera = Camera(case)
    names = {}
    number = 0
    failed = []
    try:
        pfx = case.prefix()
        if desktop.use_virtual_desktop(pfx) != 0:
            say("screenshots: could not set the virtual desktop; the windows will have no frames")
        if desktop.open_html_with_winebrowser(pfx) != 0:
            say("screenshots: could not register a program for .html files")

        say("screenshots: the installation, every dialog answered with its default button")
        start = len(camera.taken)
        r = pfx.run(installer, scenario="answer-defaults timeout=1800", shots=True, check=False,
                    timeout=2400, name="install")
        number = keep(r, camera.since(start), out_dir, number, names)
        if not r.ok:
            failed.append("installation: %s" % r.reason)

        reg = pfx.registry()
        ours = h.uninstall_entry(reg)
        if ours:
            command = reg.value(ours, "UninstallString")
            say("screenshots: the uninstallation: %s" % command)
            start = len(camera.taken)
            r = pfx.run(cmdline=command, scenario="answer-defaults timeout=1800", shots=True, check=False,
                        timeout=2400, name="uninstall")
            number = keep(r, camera.since(start), out_dir, number, names)
            if not r.ok:
                failed.append("uninstallation: %s" % r.reason)
        else:
            failed.append("no Add/Remove Programs entry: nothing to uninstall")

        say("screenshots: an installation whose licence is declined")
        start = len(camera.taken)
        r = pfx.run(installer, scenario='''
            expect text~="Are you sure you want to install "
            press 1
            expect caption="Software Licence Agreement"
            press 2
            expect text="Installation cancelled"
            screenshot declined
            press 1
            end
        ''', check=False, timeout=1200, name="declined")
        matched = [e for e in r.events if e.get("event") == "match"]
        if r.ok and matched:
            r.events = matched[-1:]
            number = keep(r, camera.since(start), out_dir, number, names)
        else:
            failed.append("licence declined: %s" % r.reason)
    finally:
        case.finish(passed=not failed)

    if args.docs:
        os.makedirs(args.docs, exist_ok=True)
        for _, name in DOC_NAMES:
            if name in names:
                shutil.copyfile(names[name], os.path.join(args.docs, name + ".png"))
            else:
                failed.append("no picture for docs/images/%s.png" % name)
        say("screenshots: docs/images refreshed (%d pictures)" % sum(1 for _, n in DOC_NAMES if n in names))
    say("screenshots: %d pictures in %s" % (number, out_dir))
    for f in failed:
        say("screenshots: incomplete: " + f)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
