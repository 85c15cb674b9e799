"""End-to-end test harness: Win32 programs under Wine, driven through their dialogs.

How a test looks
================
A test is a function ``test_<what>(case)`` in a file ``tests/e2e/test_<area>.py``. Every
such function becomes its own CTest test ``e2e.<area>.<what>`` (label ``e2e``), run as
``python3 tests/e2e/run.py tests/e2e/test_<area>.py test_<what>`` with a fresh work
directory; tests run in parallel and share nothing but the read-only template prefixes.
A test fails by raising (plain ``assert cond, "message with what was got"`` is fine);
``raise harness.Skip("why")`` marks it skipped (only for a prerequisite that is honestly not
built yet, e.g. ``case.need(harness.win_file("install.exe"))``). A failing test prints the
window log of every program it ran, the traceback and its work directory.

    import harness as h

    @h.timeout(900)                      # optional, seconds (default 900); read by e2e.cmake
    def test_cancel_at_confirmation(case):
        setup = case.product(script=SCRIPT, licence="Be nice.\\r\\n",
                             payload={"A.TXT": b"hello", "docs\\\\B.TXT": b"b"}).build()
        pfx = case.prefix("win98")       # fresh copy of the win98 template
        r = pfx.run(setup, scenario='''
            expect caption="Acme" text="Are you sure you want to install Lumivane 1.0.2?"
            press 2
            end
        ''')
        assert r.exit_code == 0, r.exit_code
        assert not pfx.exists("C:\\\\Program Files\\\\Orv\\\\Lumivane")

Paths: ``harness.build_dir()`` (the host build, env ORV_BUILD_DIR set by CTest),
``harness.source_dir()`` (ORV_SOURCE_DIR), ``harness.win_file(name)`` = build/win/<name>
(install.exe, uninstall.exe, uninstall_ft.exe, orvdrive.exe; tests/e2e/win/X_prog.cpp is
X.exe, and X_ft.exe too when it includes common/win/sys.h; X_drv.c is X.sys).

From the kit (orv try): ``harness.use_kit(files_dir, work_dir, templates_dir=None)`` takes the
Windows files (orvdrive.exe) from files_dir and keeps prefixes, Xvfb's note and templates
under work_dir instead of the build tree; prefixes are then always 32-bit.

32 or 64 bits: ``harness.arch()`` is "win32" (build/win, 32-bit prefixes) or "win64" (the
same sources built for 64-bit Windows in build/win64, 64-bit prefixes). ORV_E2E_ARCH picks
one; by default win64 is taken only where 32-bit code would run under qemu emulation. All
of the above (win_file, prefixes, Product) follow it; ``harness.shipped_file(name)`` is
always the 32-bit build/win/<name> (for checks on what ships). The reported Windows
versions (win95 ... win2k) work in both. A test of something only a 32-bit process shows
should ``raise harness.Skip(...)`` when arch() is not "win32".

The case (``case``)
===================
- ``case.dir``: the test's own work directory (build/e2e/work/<test>/), kept after a failure.
- ``case.prefix(version="default")``: a fresh Wine prefix copied from the template for
  "default" (reports NT 6.1), "win95", "win98", "winme", "nt40" or "win2k". The default
  template is made by the e2e.setup fixture, the versioned ones lazily from it, each
  once (under a lock, so parallel tests share them) and kept in the build directory for
  later runs with the same Wine (ORV_E2E_NEW_TEMPLATE=1 makes them again). No template
  has a just-in-time debugger (AeDebug "Debugger" is empty): an unhandled fault ends the
  faulting code as on Windows without a debugger, instead of in winedbg.
- ``case.product(...)``: a ``Product`` builder (below).
- ``case.artefact(name)``: a path under build/e2e/artefacts/<test>/ for screenshots etc.
- ``case.need(path)``: Skip unless the file exists.

Making an installer in seconds: ``Product``
==========================================
``case.product(script=TEXT, licence=TEXT, payload={...}, order=[...], times={...},
resources={...}, omit=[...], uninstall=PATH, test=True)``
- script, licence: text as str (encoded cp1252; write "\\r\\n" yourself: nothing is
  converted) or bytes, or a pathlib.Path of a file.
- payload: dict relative name ("docs\\\\a.txt" or "docs/a.txt") -> bytes, or -> a host path
  to copy (str/pathlib). ``times``: name -> POSIX seconds (modification time that the file
  list's time form records; default 1999-04-24 08:02:32 UTC for every file).
- order: the file order for ``orv pack --order`` (names as in payload), optional.
- resources: further FILES resources NAME -> bytes or a path (str or Path) (also used to REPLACE SCRIPT,
  LICENCE, FILELIST, DATA or UNINSTALL with hand-made contents); omit: names of resources to
  leave out (e.g. ["LICENCE"], ["UNINSTALL"]).
- test: True (default) takes the fault-injection builds of install and uninstall (needed for
  ORV_FAULT); False the production builds.
``.build(name="setup.exe")`` runs ``orv pack`` (payload -> FILELIST, DATA) and writes the
resources, unchecked, into a copy of the stub (``orv resources``: install_stub_ft.exe, or
install_stub.exe with test=False) and returns the host path of the installer (in case.dir).
To make an installer the way a publisher does (checked, with CHECKSUM), run ``orv build``
on a product folder (see test_orv.py).
``.pack()`` only packs and returns the product directory (FILELIST, DATA) for inspection.

The prefix (``pfx = case.prefix(...)``)
======================================
Paths: Windows paths ("C:\\\\x\\\\y", case-insensitive as on Windows) or host paths.
- ``pfx.host(win_path)`` -> host path (C:\\ is drive_c, Z:\\ is /); ``pfx.win(host_path)``
  -> Windows path (inside drive_c -> C:\\..., anything else -> Z:\\...).
- ``pfx.windir`` "C:\\\\windows", ``pfx.sysdir``, ``pfx.program_files`` "C:\\\\Program Files",
  ``pfx.programs_folder()`` (the Start menu's Programs folder), ``pfx.temp_dir()``.
- Disk: ``exists(p)``, ``isdir(p)``, ``read(p)`` -> bytes, ``write(p, data, mtime=None)``,
  ``copy_in(host_path, win_path)``, ``mtime(p)``, ``tree(p)`` -> sorted list of relative
  names ("docs\\\\img\\\\a.png", directories end with "\\\\"), ``listdir(p)``.
- Registry: ``pfx.registry()`` waits for the wineserver to end (so system.reg/user.reg are
  written) and returns a ``Registry``: ``reg.key("HKLM\\\\Software\\\\...")`` -> dict of
  value name -> value (str for REG_SZ/EXPAND_SZ, int for DWORD, bytes for binary/other;
  the default value is ""), or None when the key is missing; ``reg.value(key, name)``;
  ``reg.subkeys(key)``; ``reg.has_key(key)``. Roots: HKLM, HKCU (HKEY_... spelled out works).
- ``pfx.snapshot()`` -> ``Snapshot`` of the whole C: drive (names, sizes, mtimes, hashes) and
  registry; ``before.diff(after)`` -> dict with "files_added", "files_removed",
  "files_changed", "keys_added", "keys_removed", "values_changed" (registry time stamps
  are not compared; paths and keys matching ``ignore``, a list of regular expressions,
  are left out: by default ``harness.WINE_CHURN``, what Wine's own device set-up adds in
  a prefix's first session; ``ignore=()`` shows everything).
- ``pfx.uninstall_script(path)`` -> bytes of an uninstall script, byte for byte.
- ``pfx.wine(args, env=None, timeout=...)`` runs a raw command (``wine`` + args), returns
  the exit code; ``pfx.stop()`` ends the prefix's wineserver (done at the end of every test).

Running a program under orvdrive
================================
``r = pfx.run(program, args=[...], scenario=TEXT, env={...}, fault="CreateFileA:1",
restart_mark=PATH, timeout=600, check=True, shots=False, name=None, cmdline=None)``
- program: host path (e.g. an installer made by Product) or Windows path; args are joined
  with single blanks after the (quoted if needed) program path, each taken verbatim, so a
  path with blanks passed as one arg arrives as literal text in the command tail.
  ``cmdline="C:\\windows\\Uninst.exe C:\\Program Files\\...\\Uninst.orv"`` instead gives
  the whole command line as it is (an UninstallString, for one).
- fault: sets ORV_FAULT (only the test builds read it); restart_mark sets ORV_RESTART_MARK.
- check=True raises AssertionError (with the window log) when orvdrive reports a failure;
  use check=False to test the failure itself.
- shots=True takes a screenshot of every dialog it matches (artefacts of the test).
- at_once=True: orvdrive's --at-once mode, for timing (scripts/bench-install.py): no settle
  pause, every wait looks again after 5 ms; each event's "ms" is then the time it happened.
- ``r.ok``, ``r.reason`` (orvdrive's failure text), ``r.exit_code`` (of the main program,
  signed 32-bit, None if unknown), ``r.windows`` (every window record seen, in order),
  ``r.dialogs`` (only class #32770), ``r.events`` (every log line as a dict),
  ``r.children`` (exit codes of the followed descendants), ``r.log_text()``.
A window record: {"hwnd", "pid", "class", "caption", "text" (a message box's text: static
0xFFFF; in a dialog with several statics 0xFFFF, the last of them), "visible", "enabled", "controls": [{"id", "class", "text", "style", "visible",
"enabled", "checked" (buttons: 0/1/2, else absent), "items" (list boxes), "selected"}]}.

Scenario language (orvdrive)
============================
One step per line; blank lines and lines starting with # are ignored. Values are either
bare words or double-quoted with C-like escapes (\\\\ \\" \\r \\n \\t; any other backslash
is an error, so a path is written "C:\\\\x" or made with ``harness.quote(text)``). Texts are matched
exactly unless written ``text~="part"`` (substring). Waits poll every 100 ms; every wait
has a time-out (default 120 s, ``timeout=N`` seconds on the step or ``set timeout=N``).

  expect [caption=..] [text=..] [class=..]   wait for the next NEW visible dialog (#32770,
                                             or class=) of the followed processes and check
                                             it; any other new dialog is a failure
  focus caption=.. [text=..]                 make an already seen dialog current again
  control ID [text=..] [class=..] [visible=0|1] [enabled=0|1] [checked=0|1|2]
          [items="a|b|c"] [selected=N] [missing]
                                             check a control of the current dialog
                                             (waits until it holds, then fails)
  press ID                                   post WM_COMMAND(ID, BN_CLICKED) to the dialog
  press default                              the same for the default push button (else OK)
  click ID                                   post BM_CLICK to the button
  type ID "text"                             WM_SETTEXT to the edit box (sends EN_CHANGE)
  tick ID / untick ID                        BM_CLICK until the check box has that state
  pick ID N | pick ID "entry"                LB_SETCURSEL + LBN_SELCHANGE to the parent
  gone                                       wait until the current dialog is closed
  wait-file "C:\\\\path" [gone]              wait until a file exists (or is gone)
  sleep MS
  screenshot NAME                            ask the harness for a screenshot now
  end                                        wait for the program and every followed
                                             descendant to end; a new dialog meanwhile fails
  leave                                      stop here without waiting for the end
  answer-defaults                            answer every dialog with its default button
                                             until the program and its descendants end
Without ``end`` or ``leave`` the scenario ends with an implicit ``end``. IDs are decimal or
0x hex (message box buttons: IDOK 1, IDCANCEL 2, IDABORT 3, IDRETRY 4, IDIGNORE 5,
IDYES 6, IDNO 7; the message box text is static 0xFFFF and is what ``text=`` compares).

Faults and other environment
============================
``harness.fault_env("CreateFileA:1", "WriteFile:3+")`` -> {"ORV_FAULT": ...}; the builds with
``--test`` (Product(test=True), uninstall_ft.exe) obey it, production builds ignore it.
The test builds also read ORV_FAULT_LOCAL (set: the rules hold for that program only, not
for what it starts, e.g. a roll-back's uninstaller) and ORV_FAULT_COUNT=PATH (every call of
every operation is counted into PATH.<process id>); tests/e2e/fault_loop.py (run by
scripts/fault-loop.sh) uses both to fail every call of every operation once.

Costs: 32-bit Wine may run under qemu user emulation (machines that cannot run i386 code
natively): a wine process start then costs seconds, not milliseconds. Keep the wine process
starts per test few; each ``pfx.run`` is one (plus the program and its children).

Environment knobs: ORV_E2E_KEEP=1 keeps every prefix (default: kept only when the test
fails); ORV_E2E_NEW_TEMPLATE=1 makes the template prefixes again instead of reusing the ones
of an earlier run in the same build directory (they are reused only for the same Wine).
"""
import contextlib
import fcntl
import functools
import hashlib
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import time

# ---------------------------------------------------------------------------------------
# Build and run locations

VERSIONS = ("default", "win95", "win98", "winme", "nt40", "win2k")
DEFAULT_TIMEOUT = 900
# Every program run in a test prefix: quiet, without the Mono and Gecko installers and
# without winemenubuilder, which would copy shortcuts into the host's desktop menus.
WINE_ENV = {
    "WINEDEBUG": "-all",
    "WINEDLLOVERRIDES": "mscoree,mshtml=;winemenubuilder.exe=d",
}
WINE64 = "/usr/lib/wine/wine64"
# The fixed moment of payload files unless a test gives its own (file list time form).
PAYLOAD_TIME = 924940952  # 1999-04-24 08:02:32 UTC


class Skip(Exception):
    """A prerequisite is not built (yet): the test is reported as skipped, never passed."""


def timeout(seconds):
    """Decorator read by e2e.cmake (from the source, not at run time): the CTest time-out."""
    def wrap(f):
        f.e2e_timeout = seconds
        return f
    return wrap


def source_dir():
    return os.environ.get("ORV_SOURCE_DIR") or os.path.dirname(os.path.dirname(os.path.dirname(
        os.path.abspath(__file__))))


# Set by use_kit(): the harness then runs from the publisher's kit, without a build tree.
_kit = {}


def use_kit(files_dir, work_dir, templates_dir=None):
    """Runs the harness from the kit instead of a build tree: the dialog driver (and every
    other win_file) is taken from files_dir, prefixes, Xvfb's note and screenshots live under
    work_dir, and the template prefixes under templates_dir (default: work_dir/templates).
    The kit carries the shipped 32-bit build only, so prefixes are 32-bit."""
    _kit.update(files=files_dir, work=work_dir, templates=templates_dir or os.path.join(work_dir, "templates"))


def build_dir():
    d = os.environ.get("ORV_BUILD_DIR")
    if not d:
        raise RuntimeError("ORV_BUILD_DIR is not set (run the tests through ctest)")
    return d


@functools.lru_cache(maxsize=None)
def arch():
    """"win32" (the shipped 32-bit build in build/win, 32-bit prefixes) or "win64" (the same
    sources built for 64-bit Windows in build/win64, 64-bit prefixes). ORV_E2E_ARCH chooses;
    by default win32 where the machine runs 32-bit code itself, and win64 where 32-bit code
    would only run under emulation (qemu through binfmt_misc: many times slower) and the
    64-bit build exists. From the kit always win32."""
    if _kit:
        return "win32"
    a = os.environ.get("ORV_E2E_ARCH")
    if a:
        if a not in ("win32", "win64"):
            raise ValueError("ORV_E2E_ARCH must be win32 or win64, not %r" % a)
        return a
    emulated = os.path.exists("/proc/sys/fs/binfmt_misc/qemu-i386")
    try:
        native = not emulated and subprocess.run(
            ["/lib/ld-linux.so.2", "--version"], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL, timeout=60).returncode == 0
    except (OSError, subprocess.TimeoutExpired):
        native = False
    if not native and os.path.exists(os.path.join(build_dir(), "win64", "orvdrive.exe")) \
            and os.path.exists(WINE64):
        return "win64"
    return "win32"


def wine_cmd():
    return [WINE64] if arch() == "win64" else ["wine"]


def win_file(name):
    """A file of the Windows build the tests run (build/win/<name>, or build/win64/<name>
    when the tests run the 64-bit build, see arch())."""
    if _kit:
        return os.path.join(_kit["files"], name)
    return os.path.join(build_dir(), "win64" if arch() == "win64" else "win", name)


def shipped_file(name):
    """A file of the 32-bit build that ships (build/win/<name>), whatever the tests run."""
    if _kit:
        return win_file(name)
    return os.path.join(build_dir(), "win", name)


def e2e_dir():
    if _kit:
        return _kit["work"]
    return os.path.join(build_dir(), "e2e")


def quote(text):
    """A scenario value for any text: quoted, with backslash, quote, CR, LF and TAB escaped
    ("expect text=%s" % quote("Error:\r\nC:\\x") and the like)."""
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"').replace("\r", "\\r").replace(
        "\n", "\\n").replace("\t", "\\t") + '"'


def fault_env(*rules):
    return {"ORV_FAULT": ",".join(rules)}


def wine_version():
    try:
        return subprocess.run(["wine", "--version"], capture_output=True, text=True,
                              timeout=60).stdout.strip()
    except (OSError, subprocess.TimeoutExpired):
        return "unknown"


def _display():
    info = os.path.join(e2e_dir(), "xvfb.json")
    if os.environ.get("ORV_E2E_DISPLAY"):
        return os.environ["ORV_E2E_DISPLAY"]
    if os.path.exists(info):
        with open(info) as f:
            return json.load(f)["display"]
    return os.environ.get("DISPLAY", "")


def wine_env(prefix, extra=None):
    env = dict(os.environ)
    env.update(WINE_ENV)
    env["WINEPREFIX"] = prefix
    env["WINEARCH"] = arch()
    if arch() == "win64":
        env["WINELOADER"] = WINE64
    d = _display()
    if d:
        env["DISPLAY"] = d
    for k in ("ORV_FAULT", "ORV_RESTART_MARK"):
        env.pop(k, None)
    if extra:
        env.update({k: str(v) for k, v in extra.items()})
    return env


def run_logged(cmd, env, log_path, timeout, cwd=None):
    """Runs a command with its output going to a file (a pipe can be held open for ever by
    the wineserver and its services). Returns the exit code, or None on a time-out."""
    with open(log_path, "ab") as out:
        out.write(("$ %s\n" % " ".join(cmd)).encode())
        out.flush()
        p = subprocess.Popen(cmd, env=env, stdin=subprocess.DEVNULL, stdout=out, stderr=out,
                             cwd=cwd)
        try:
            return p.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            p.kill()
            p.wait()
            return None


def stop_wineserver(prefix, wait=True, timeout=120):
    """Ends a prefix's wineserver. With wait it first lets the session end by itself (the
    registry is written then), and kills it only when that does not happen in time."""
    if not os.path.isdir(prefix):
        return
    env = wine_env(prefix)
    devnull = subprocess.DEVNULL
    if wait:
        try:
            subprocess.run(["wineserver", "-w"], env=env, stdin=devnull, stdout=devnull,
                           stderr=devnull, timeout=timeout)
            return
        except subprocess.TimeoutExpired:
            pass
    subprocess.run(["wineserver", "-k"], env=env, stdin=devnull, stdout=devnull,
                   stderr=devnull, timeout=120)
    with contextlib.suppress(subprocess.TimeoutExpired):
        subprocess.run(["wineserver", "-w"], env=env, stdin=devnull, stdout=devnull,
                       stderr=devnull, timeout=60)


# ---------------------------------------------------------------------------------------
# Template prefixes

def template_dir(version="default"):
    return os.path.join(_kit["templates"] if _kit else os.path.join(e2e_dir(), "templates"), "%s-%s" % (arch(), version))


@contextlib.contextmanager
def _locked(path):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w") as f:
        fcntl.flock(f, fcntl.LOCK_EX)
        try:
            yield
        finally:
            fcntl.flock(f, fcntl.LOCK_UN)


WINE_FONTS_DIR = "/usr/share/wine/fonts"


def _machine_fonts():
    """The fonts Wine finds on this machine: a template made before one was added or removed
    is made again, since Wine registers the machine's fonts in a prefix when it is made."""
    d = WINE_FONTS_DIR
    try:
        names = sorted(os.listdir(d))
    except OSError:
        return "no fonts"
    return " ".join("%s:%d" % (n, os.path.getsize(os.path.join(d, n))) for n in names)


def _install_wine_fonts(prefix, log):
    """Wine's own fonts (Marlett for the caption buttons, MS Sans Serif with the metrics the
    dialogs were laid out for) into the prefix's Fonts folder: Debian's Wine does not load
    them from /usr/share/wine/fonts by itself. One session registers them in the template, so
    that the copies start with them in place."""
    src = WINE_FONTS_DIR
    if not os.path.isdir(src):
        return
    dst = os.path.join(prefix, "drive_c", "windows", "Fonts")
    os.makedirs(dst, exist_ok=True)
    for name in sorted(os.listdir(src)):
        shutil.copyfile(os.path.join(src, name), os.path.join(dst, name))
    run_logged(wine_cmd() + ["cmd", "/c", "exit"], wine_env(prefix), log, timeout=600)
    run_logged(["wineserver", "-w"], wine_env(prefix), log, timeout=600)


def _stamp_text():
    return "orv-template 4\n%s\n%s\n%s\n" % (arch(), wine_version(), _machine_fonts())


def _template_ready(d):
    stamp = os.path.join(d, ".orv-template")
    if not os.path.exists(stamp):
        return False
    if os.environ.get("ORV_E2E_NEW_TEMPLATE") == "1" and not os.path.exists(
            os.path.join(d, ".orv-this-run")):
        return False
    with open(stamp) as f:
        return f.read() == _stamp_text()


def make_template(version="default", log=None):
    """Makes (or reuses) the template prefix of a Windows version; returns its path.
    Parallel callers wait for each other under a lock."""
    d = template_dir(version)
    with _locked(d + ".lock"):
        if _template_ready(d):
            return d
        shutil.rmtree(d, ignore_errors=True)
        log = log or (d + ".log")
        if version == "default":
            t0 = time.time()
            rc = run_logged(wine_cmd() + ["wineboot", "-i"], wine_env(d), log, timeout=3600)
            # wineboot returns before the prefix is complete: the rest of the set-up runs on
            # in the session, which ends by itself when it is done.
            settled = run_logged(["wineserver", "-w"], wine_env(d), log, timeout=3600)
            if settled is None:
                stop_wineserver(d, wait=False)
                raise RuntimeError("the template prefix's set-up did not end within an hour, see %s" % log)
            if rc != 0 or not os.path.exists(os.path.join(d, "system.reg")):
                raise RuntimeError("making the template prefix failed (wineboot %s), see %s" % (rc, log))
            _no_debugger(d)
            _install_wine_fonts(d, log)
            with open(log, "a") as f:
                f.write("template made in %.1f s\n" % (time.time() - t0))
        else:
            if version not in VERSIONS:
                raise ValueError("unknown Windows version %r" % version)
            base = make_template("default")
            tmp = d + ".tmp"
            shutil.rmtree(tmp, ignore_errors=True)
            subprocess.check_call(["cp", "-a", base, tmp])
            set_reported_version(tmp, version)
            os.rename(tmp, d)
        with open(os.path.join(d, ".orv-this-run"), "w") as f:
            f.write("%d\n" % os.getpid())
        with open(os.path.join(d, ".orv-template"), "w") as f:
            f.write(_stamp_text())
        return d


def set_reported_version(prefix, version):
    """What `wine reg add HKCU\\Software\\Wine /v Version /d VERSION /f` does, written
    straight into user.reg while no wineserver runs (a wine start here costs many seconds)."""
    _set_string_value(os.path.join(prefix, "user.reg"), "Software\\Wine", "Version", version)


# Wine registers its own debugger as the just-in-time debugger of every new prefix
# (AeDebug "Debugger" = "winedbg --auto ...", or winedbg when the value is missing): a
# fault that a program offers to UnhandledExceptionFilter then ends in winedbg's "Program
# Error" box and the process is killed (exit code 0xDEAD). An empty "Debugger" value is
# Windows without a registered debugger: the debugger cannot be started, and the last-chance
# handling answers that the faulting code is to be ended (EXCEPTION_EXECUTE_HANDLER).
AEDEBUG_KEY = "Software\\Microsoft\\Windows NT\\CurrentVersion\\AeDebug"


def _no_debugger(prefix):
    _set_string_value(os.path.join(prefix, "system.reg"), AEDEBUG_KEY, "Debugger", "")


def _set_string_value(path, key, name, value):
    """Sets a string value of a key in a registry file of a prefix whose wineserver is not
    running (key relative to the file's root, value without characters needing escapes)."""
    with open(path, "rb") as f:
        text = f.read().decode("utf-8")
    line = '"%s"="%s"' % (name, value)
    head = "[%s]" % key.replace("\\", "\\\\")
    lines = text.split("\n")
    start = next((i for i, l in enumerate(lines) if l.lower().startswith(head.lower())), None)
    if start is None:
        lines[-1:] = ["", "%s %d" % (head, int(time.time())), "#time=0", line, ""]
    else:
        end = start + 1
        while end < len(lines) and lines[end].strip():
            end += 1
        body = [l for l in lines[start + 1:end] if not l.lower().startswith(('"%s"=' % name).lower())]
        heads = [l for l in body if l.startswith("#")]
        rest = [l for l in body if not l.startswith("#")]
        lines[start + 1:end] = heads + [line] + rest
    text = "\n".join(lines)
    with open(path, "wb") as f:
        f.write(text.encode("utf-8"))


# ---------------------------------------------------------------------------------------
# Registry files (system.reg: HKEY_LOCAL_MACHINE, user.reg: HKEY_CURRENT_USER)

ROOTS = {
    "HKLM": "HKLM", "HKEY_LOCAL_MACHINE": "HKLM",
    "HKCU": "HKCU", "HKEY_CURRENT_USER": "HKCU",
}


_ESCAPE = re.compile(r"\\(x[0-9a-fA-F]{1,4}|.)", re.S)
_ESCAPES = {"n": "\n", "r": "\r", "t": "\t", "0": "\0"}


def _reg_unescape(s):
    def one(m):
        e = m.group(1)
        if len(e) > 1:
            return chr(int(e[1:], 16))
        return _ESCAPES.get(e, e)
    return _ESCAPE.sub(one, s)


_QUOTED = re.compile(r'"((?:[^"\\]|\\.)*)"', re.S)


def _split_quoted(s):
    """'"abc\\"d"=rest' -> ('abc"d', '=rest')."""
    m = _QUOTED.match(s)
    if not m:
        raise ValueError("unterminated string in registry file: %r" % s[:80])
    text = m.group(1)
    return (_reg_unescape(text) if "\\" in text else text), s[m.end():]


def _reg_value(v):
    if v.startswith('"'):
        return _split_quoted(v)[0]
    if v.startswith("str(2):"):
        return _split_quoted(v[7:])[0]
    if v.startswith("dword:"):
        return int(v[6:], 16)
    m = re.match(r"hex(?:\(([0-9a-fA-F]+)\))?:(.*)$", v, re.S)
    if m:
        data = bytes(int(x, 16) for x in re.split(r"[,\s\\]+", m.group(2)) if x)
        kind = int(m.group(1), 16) if m.group(1) else 3
        if kind in (1, 2):
            return data.decode("utf-16-le").rstrip("\0")
        if kind == 4 and len(data) == 4:
            return int.from_bytes(data, "little")
        return data
    return v


def parse_reg_file(path):
    """{lower-case key path: (key path, {value name: value})} of one Wine registry file."""
    keys = {}
    with open(path, "rb") as f:
        lines = f.read().decode("utf-8", "replace").split("\n")
    cur = None
    i = 0
    while i < len(lines):
        line = lines[i].rstrip("\r")
        i += 1
        while line.endswith("\\") and i < len(lines) and re.match(r"\s", lines[i] or "x"):
            line = line[:-1] + lines[i].strip()
            i += 1
        if line.startswith("["):
            m = re.match(r"\[(.*)\](?:\s+\d+)?\s*$", line)
            name = _reg_unescape(m.group(1)) if m else line[1:]
            cur = keys.setdefault(name.lower(), (name, {}))[1]
        elif cur is not None and (line.startswith('"') or line.startswith("@=")):
            if line.startswith("@="):
                vname, rest = "", line[1:]
            else:
                vname, rest = _split_quoted(line)
            if rest.startswith("="):
                cur[vname] = _reg_value(rest[1:])
    return keys


class Registry:
    """The registry of a prefix as written in system.reg and user.reg."""

    def __init__(self, prefix):
        self.hives = {"HKLM": parse_reg_file(os.path.join(prefix, "system.reg")),
                      "HKCU": parse_reg_file(os.path.join(prefix, "user.reg"))}

    @staticmethod
    def _split(key):
        root, _, rest = key.replace("/", "\\").partition("\\")
        if root.upper() not in ROOTS:
            raise ValueError("unknown registry root in %r" % key)
        return ROOTS[root.upper()], rest.strip("\\").lower()

    def key(self, key):
        root, rest = self._split(key)
        k = self.hives[root].get(rest)
        return dict(k[1]) if k else None

    def has_key(self, key):
        return self.key(key) is not None

    def value(self, key, name):
        k = self.key(key)
        if k is None:
            return None
        for n, v in k.items():
            if n.lower() == name.lower():
                return v
        return None

    def subkeys(self, key):
        root, rest = self._split(key)
        pre = rest + "\\" if rest else ""
        out = set()
        for low, (name, _) in self.hives[root].items():
            if low.startswith(pre) and len(low) > len(pre):
                out.add(name[len(pre):].split("\\")[0])
        return sorted(out, key=str.lower)

    def flat(self):
        """{(root, lower key): {lower value name: value}} for comparisons."""
        return {(r, low): {n.lower(): v for n, v in vals.items()}
                for r, h in self.hives.items() for low, (_, vals) in h.items()}


# ---------------------------------------------------------------------------------------
# Disk snapshots

# What Wine itself adds while programs run (its plug-and-play devices set themselves up in
# the first session of a prefix): left out of Snapshot.diff unless ignore=() is given.
WINE_CHURN = (
    r"^C:\\windows\\inf\\.*\.pnf$",
    r"^HKLM\\system\\currentcontrolset\\control\\(class|deviceclasses)\\",
    r"^HKLM\\system\\currentcontrolset\\enum\\",
    r"^HKLM\\system\\currentcontrolset\\services\\(winehid|winebus|hidclass|wineusb)$",
    r"^HKLM\\software\\microsoft\\windows nt\\currentversion\\networkcards(\\|$)",
    # The font lists: Wine rewrites them in every session from the machine's fonts, so they
    # change in a copied prefix whenever the machine's fonts changed after the template.
    r"^HKCU\\software\\wine\\fonts\\external fonts$",
    r"^HKLM\\software\\microsoft\\windows( nt)?\\currentversion\\fonts$",
)


class Snapshot:
    def __init__(self, files, registry):
        self.files = files          # lower Windows path -> (path, size, mtime, sha1 or None)
        self.registry = registry    # Registry.flat()

    def diff(self, after, ignore=WINE_CHURN):
        pats = [re.compile(p, re.I) for p in ignore]
        keep = lambda s: not any(p.search(s) for p in pats)
        a, b = self.files, after.files
        out = {
            "files_added": sorted(b[k][0] for k in b.keys() - a.keys() if keep(b[k][0])),
            "files_removed": sorted(a[k][0] for k in a.keys() - b.keys() if keep(a[k][0])),
            "files_changed": sorted(b[k][0] for k in a.keys() & b.keys()
                                    if a[k][1:] != b[k][1:] and keep(b[k][0])),
        }
        ra, rb = self.registry, after.registry
        name = lambda k: k[0] + "\\" + k[1]
        out["keys_added"] = sorted(name(k) for k in rb.keys() - ra.keys() if keep(name(k)))
        out["keys_removed"] = sorted(name(k) for k in ra.keys() - rb.keys() if keep(name(k)))
        out["values_changed"] = sorted(name(k) for k in ra.keys() & rb.keys()
                                       if ra[k] != rb[k] and keep(name(k)))
        return out


# ---------------------------------------------------------------------------------------
# Prefixes

class Prefix:
    def __init__(self, case, path, version):
        self.case = case
        self.path = path
        self.version = version
        self.windir = "C:\\windows"
        self.sysdir = "C:\\windows\\system32"
        self.program_files = "C:\\Program Files"
        self.runs = 0
        self.shared = {}

    # -- paths
    def host(self, p):
        p = os.fspath(p)
        if p.startswith("/"):
            return p
        m = re.match(r"([A-Za-z]):[\\/]?(.*)$", p)
        if not m:
            raise ValueError("not a Windows path: %r" % p)
        drive, rest = m.group(1).lower(), m.group(2).replace("\\", "/")
        if drive == "z":
            return "/" + rest
        base = os.path.join(self.path, "drive_" + drive) if drive == "c" else os.path.join(
            self.path, "dosdevices", drive + ":")
        return _case_blind(base, rest)

    def win(self, p):
        p = os.path.abspath(os.fspath(p))
        c = os.path.join(self.path, "drive_c")
        if p == c or p.startswith(c + "/"):
            return "C:\\" + p[len(c) + 1:].replace("/", "\\")
        return "Z:" + p.replace("/", "\\")

    def user_dir(self):
        users = self.host("C:\\users")
        names = [n for n in os.listdir(users) if n.lower() not in ("public", "default")]
        if len(names) != 1:
            raise RuntimeError("cannot tell the user's profile among %r" % names)
        return "C:\\users\\" + names[0]

    def programs_folder(self):
        return self.user_dir() + "\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs"

    def temp_dir(self):
        return self.user_dir() + "\\Temp"

    # -- disk
    def exists(self, p):
        return os.path.lexists(self.host(p))

    def isdir(self, p):
        return os.path.isdir(self.host(p))

    def read(self, p):
        with open(self.host(p), "rb") as f:
            return f.read()

    def uninstall_script(self, p):
        return self.read(p)

    def write(self, p, data, mtime=None):
        h = self.host(p)
        os.makedirs(os.path.dirname(h), exist_ok=True)
        with contextlib.suppress(FileNotFoundError):
            os.remove(h)  # never through a link shared with the template
        with open(h, "wb") as f:
            f.write(data.encode("cp1252") if isinstance(data, str) else data)
        if mtime is not None:
            os.utime(h, (mtime, mtime))
        return h

    def copy_in(self, host_path, p):
        h = self.host(p)
        os.makedirs(os.path.dirname(h), exist_ok=True)
        with contextlib.suppress(FileNotFoundError):
            os.remove(h)
        shutil.copy2(host_path, h)
        return h

    def mtime(self, p):
        return os.stat(self.host(p)).st_mtime

    def listdir(self, p):
        return sorted(os.listdir(self.host(p)), key=str.lower)

    def tree(self, p):
        base = self.host(p)
        out = []
        for root, dirs, files in os.walk(base):
            rel = os.path.relpath(root, base)
            rel = "" if rel == "." else rel.replace("/", "\\") + "\\"
            out += [rel + d + "\\" for d in dirs] + [rel + f for f in files]
        return sorted(out, key=str.lower)

    def snapshot(self):
        self.flush()
        files = {}
        base = os.path.join(self.path, "drive_c")
        for root, dirs, names in os.walk(base):
            for n in names + dirs:
                h = os.path.join(root, n)
                st = os.lstat(h)
                w = self.win(h) + ("\\" if n in dirs else "")
                digest = None
                # Wine's own binaries shared with the template are compared by size and time.
                if n in names and st.st_size < (1 << 20) and not os.path.islink(h) and \
                        self.shared.get(h) != (st.st_size, st.st_mtime_ns):
                    with open(h, "rb") as f:
                        digest = hashlib.sha1(f.read()).hexdigest()
                files[w.lower()] = (w, st.st_size if n in names else 0,
                                    int(st.st_mtime) if n in names else 0, digest)
        return Snapshot(files, Registry(self.path).flat())

    # -- wine
    def env(self, extra=None):
        return wine_env(self.path, extra)

    def wine(self, args, env=None, timeout=600):
        self.runs += 1
        log = os.path.join(self.case.dir, "wine-%d.out" % self.runs)
        return run_logged(wine_cmd() + [os.fspath(a) for a in args], self.env(env), log, timeout,
                          cwd=self.case.dir)

    def flush(self, timeout=300):
        """Waits until every program of the prefix has ended and the wineserver has written
        the registry (it ends a few seconds after its last program)."""
        stop_wineserver(self.path, wait=True, timeout=timeout)

    def stop(self):
        stop_wineserver(self.path, wait=False)

    def registry(self):
        self.flush()
        return Registry(self.path)

    def run(self, program=None, args=(), scenario="", env=None, fault=None, restart_mark=None,
            timeout=600, check=True, shots=False, name=None, cmdline=None, at_once=False):
        self.runs += 1
        name = name or "run%d" % self.runs
        d = os.path.join(self.case.dir, name)
        shutil.rmtree(d, ignore_errors=True)
        os.makedirs(d)
        scen = os.path.join(d, "scenario.txt")
        with open(scen, "w", encoding="utf-8") as f:
            f.write(_dedent(scenario))
        log = os.path.join(d, "windows.jsonl")
        extra = dict(env or {})
        if fault:
            extra["ORV_FAULT"] = fault
        if restart_mark:
            extra["ORV_RESTART_MARK"] = restart_mark
        drive = win_file("orvdrive.exe")
        if not os.path.exists(drive):
            raise RuntimeError("%s is not built" % drive)
        if cmdline is not None:
            tail = ["--cmdline", cmdline]
        else:
            program = os.fspath(program)
            prog_win = self.win(program) if program.startswith("/") else program
            tail = ["--", prog_win] + [os.fspath(a) for a in args]
        cmd = wine_cmd() + [drive] + (["--shots"] if shots else []) + (["--at-once"] if at_once else []) + \
            [self.win(scen), self.win(log)] + tail
        out_path = os.path.join(d, "wine.out")
        t0 = time.time()
        with open(out_path, "wb") as out:
            out.write(("$ %s\n" % " ".join(cmd)).encode())
            out.flush()
            p = subprocess.Popen(cmd, env=self.env(extra), stdin=subprocess.DEVNULL, stdout=out,
                                 stderr=out, cwd=d)
            timed_out = False
            while p.poll() is None:
                self._serve_shots(d, name)
                if time.time() - t0 > timeout:
                    p.kill()
                    p.wait()
                    timed_out = True
                    break
                time.sleep(0.1)
            self._serve_shots(d, name)
        r = RunResult(name, p.returncode, log, out_path, time.time() - t0, timed_out)
        self.case.results.append(r)
        if check and not r.ok:
            raise AssertionError("orvdrive failed in %s: %s (the window log follows)" % (name, r.reason))
        return r

    def _serve_shots(self, d, name):
        for req in sorted(f for f in os.listdir(d) if f.endswith(".shot")):
            shot = os.path.splitext(req)[0]
            self.case.screenshot("%s-%s" % (name, shot))
            os.remove(os.path.join(d, req))


def _case_blind(base, rest):
    """The host path of a Windows path below base, matching each existing level without
    regard to case as Windows does; levels that do not exist are kept as written."""
    cur = base
    for part in [p for p in rest.split("/") if p]:
        exact = os.path.join(cur, part)
        if not os.path.lexists(exact) and os.path.isdir(cur):
            low = part.lower()
            for n in os.listdir(cur):
                if n.lower() == low:
                    exact = os.path.join(cur, n)
                    break
        cur = exact
    return cur


def _dedent(text):
    return "\n".join(l.strip() for l in text.strip("\n").split("\n")) + "\n"


class RunResult:
    def __init__(self, name, rc, log, out, seconds, timed_out):
        self.name = name
        self.orvdrive_rc = rc
        self.log_path = log
        self.out_path = out
        self.seconds = seconds
        self.events = []
        if os.path.exists(log):
            with open(log, encoding="utf-8", errors="replace") as f:
                for line in f:
                    line = line.strip()
                    if line:
                        try:
                            self.events.append(json.loads(line))
                        except ValueError:
                            self.events.append({"event": "garbled", "line": line})
        self.windows = [e for e in self.events if e.get("event") == "window"]
        self.dialogs = [w for w in self.windows if w.get("class") == "#32770"]
        ends = [e for e in self.events if e.get("event") == "exit" and e.get("main")]
        self.exit_code = ends[-1]["code"] if ends else None
        self.children = [e for e in self.events if e.get("event") == "exit" and not e.get("main")]
        res = [e for e in self.events if e.get("event") == "result"]
        if timed_out:
            self.ok, self.reason = False, "orvdrive did not end within the harness's time-out"
        elif not res:
            self.ok, self.reason = False, "orvdrive wrote no result (exit %s)" % rc
        else:
            self.ok = bool(res[-1].get("ok")) and rc == 0
            self.reason = res[-1].get("reason", "")

    def log_text(self):
        lines = ["--- window log of %s (%.1f s, orvdrive exit %s)" % (
            self.name, self.seconds, self.orvdrive_rc)]
        for e in self.events:
            lines.append(json.dumps(e, ensure_ascii=False))
        return "\n".join(lines)

    def __repr__(self):
        return "<run %s ok=%s exit=%s reason=%r>" % (self.name, self.ok, self.exit_code, self.reason)


# ---------------------------------------------------------------------------------------
# Products

def orv_tool():
    """The host build's publisher command, ``orv``."""
    path = os.path.join(build_dir(), "orv")
    if not os.path.exists(path):
        raise Skip("orv is not built")
    return path


class Product:
    def __init__(self, case, script=None, licence=None, payload=None, order=None, times=None,
                 resources=None, omit=(), uninstall=None, test=True):
        self.case = case
        self.script = script
        self.licence = licence
        self.payload = payload or {}
        self.order = order
        self.times = times or {}
        self.resources = resources or {}
        self.omit = set(omit)
        self.uninstall = uninstall
        self.test = test
        self.count = 0

    def pack(self, name="product"):
        d = os.path.join(self.case.dir, name)
        shutil.rmtree(d, ignore_errors=True)
        pay = os.path.join(d, "payload")
        out = os.path.join(d, "out")
        os.makedirs(pay)
        os.makedirs(out)
        for rel, data in self.payload.items():
            h = os.path.join(pay, *re.split(r"[\\/]", rel))
            os.makedirs(os.path.dirname(h), exist_ok=True)
            if isinstance(data, (bytes, bytearray)):
                with open(h, "wb") as f:
                    f.write(data)
            else:
                shutil.copyfile(os.fspath(data), h)
            t = self.times.get(rel, PAYLOAD_TIME)
            os.utime(h, (t, t))
        cmd = [orv_tool(), "pack"]
        if self.order is not None:
            of = os.path.join(d, "order.txt")
            with open(of, "w") as f:
                f.write("".join(n.replace("/", "\\") + "\n" for n in self.order))
            cmd += ["--order", of]
        cmd += [pay, out]
        log = os.path.join(d, "pack.out")
        rc = run_logged(cmd, dict(os.environ), log, timeout=300)
        if rc != 0:
            raise AssertionError("orv pack failed (%s):\n%s" % (rc, open(log).read()))
        return out

    def build(self, name="setup.exe"):
        self.count += 1
        d = os.path.join(self.case.dir, os.path.splitext(name)[0] + ".res")
        shutil.rmtree(d, ignore_errors=True)
        os.makedirs(d)
        res = {}
        if self.payload or not ({"FILELIST", "DATA"} <= set(self.resources) | self.omit):
            packed = self.pack(os.path.splitext(name)[0] + ".product")
            res["FILELIST"] = os.path.join(packed, "FILELIST")
            res["DATA"] = os.path.join(packed, "DATA")
        for rname, val in (("SCRIPT", self.script), ("LICENCE", self.licence)):
            if val is not None:
                res[rname] = val
        if self.uninstall is not None:
            res["UNINSTALL"] = self.uninstall
        res.update(self.resources)
        for o in self.omit:
            res.pop(o, None)
        if "UNINSTALL" not in res and "UNINSTALL" not in self.omit:
            res["UNINSTALL"] = win_file("uninstall_ft.exe" if self.test else "uninstall.exe")
        args = []
        for rname, val in res.items():
            if isinstance(val, str) and rname in ("SCRIPT", "LICENCE"):
                val = val.encode("cp1252")
            if isinstance(val, (bytes, bytearray)):
                p = os.path.join(d, rname)
                with open(p, "wb") as f:
                    f.write(val)
                val = p
            args.append("%s=%s" % (rname, os.fspath(val)))
        out = os.path.join(self.case.dir, name)
        stub = win_file("install_stub_ft.exe" if self.test else "install_stub.exe")
        cmd = [orv_tool(), "resources", "--stub", stub, "-o", out] + args
        log = os.path.join(d, "make.out")
        rc = run_logged(cmd, dict(os.environ), log, timeout=300)
        if rc != 0:
            raise AssertionError("orv resources failed (%s):\n%s" % (rc, open(log).read()))
        return out


# ---------------------------------------------------------------------------------------
# The test case

class Case:
    def __init__(self, name):
        self.name = name
        self.dir = os.path.join(e2e_dir(), "work", name)
        shutil.rmtree(self.dir, ignore_errors=True)
        os.makedirs(self.dir)
        self.prefixes = []
        self.results = []
        self.shots = 0
        self.artefact_dir = os.path.join(e2e_dir(), "artefacts", name)

    def prefix(self, version="default"):
        tpl = make_template(version)
        path = os.path.join(self.dir, "prefix%d" % (len(self.prefixes) + 1))
        p = Prefix(self, path, version)
        p.shared = copy_prefix(tpl, path)
        self.prefixes.append(p)
        return p

    def product(self, **kw):
        return Product(self, **kw)

    def need(self, path):
        if not os.path.exists(path):
            raise Skip("%s is not built" % path)
        return path

    def artefact(self, name):
        d = self.artefact_dir
        os.makedirs(d, exist_ok=True)
        return os.path.join(d, name)

    def screenshot(self, name):
        self.shots += 1
        out = self.artefact("%02d-%s.png" % (self.shots, re.sub(r"[^\w.-]+", "_", name)))
        env = dict(os.environ)
        env["DISPLAY"] = _display()
        rc = run_logged(["import", "-window", "root", out], env,
                        os.path.join(self.dir, "screenshots.out"), timeout=60)
        return out if rc == 0 else None

    def finish(self, passed):
        for p in self.prefixes:
            with contextlib.suppress(Exception):
                p.stop()
        broken = [f for p in self.prefixes for f in changed_shared_files(p)]
        if broken:
            # The template is spoilt for every later test: make it again next time.
            for v in {p.version for p in self.prefixes}:
                with contextlib.suppress(FileNotFoundError):
                    os.remove(os.path.join(template_dir(v), ".orv-template"))
            print("the test wrote into files it shares with the template prefix: %s" % broken[:10])
            passed = False
        if passed and os.environ.get("ORV_E2E_KEEP") != "1":
            for p in self.prefixes:
                shutil.rmtree(p.path, ignore_errors=True)
        return passed


# Wine's own binaries, most of a prefix's size (some 1.3 GB for a 64-bit prefix): a test's
# prefix shares them with the template through hard links, and copies everything else.
SHARED_EXT = (".dll", ".exe", ".drv", ".sys", ".ocx", ".acm", ".cpl", ".tlb", ".ax", ".ds",
              ".com", ".dll16", ".exe16", ".mod", ".vxd", ".ttf", ".fon", ".msstyles")


def copy_prefix(src, dst):
    """Copies a template prefix; returns {path: (size, mtime_ns)} of the shared files, which
    Case.finish checks: a test that wrote into one would spoil the template."""
    shared = {}
    windows = os.path.join(src, "drive_c", "windows")
    for root, dirs, files in os.walk(src):
        rel = os.path.relpath(root, src)
        out = os.path.join(dst, rel) if rel != "." else dst
        os.makedirs(out, exist_ok=True)
        shutil.copystat(root, out)
        for n in dirs + files:
            s = os.path.join(root, n)
            d = os.path.join(out, n)
            if os.path.islink(s):
                os.symlink(os.readlink(s), d)
            elif n in dirs:
                continue
            elif n.startswith(".orv-"):
                continue
            elif (root == windows or root.startswith(windows + "/")) and n.lower().endswith(SHARED_EXT):
                st = os.stat(s)
                os.link(s, d)
                shared[d] = (st.st_size, st.st_mtime_ns)
            else:
                shutil.copy2(s, d)
    return shared


def changed_shared_files(prefix):
    out = []
    for path, (size, mtime) in getattr(prefix, "shared", {}).items():
        try:
            st = os.stat(path)
        except FileNotFoundError:
            continue  # replaced or deleted through a new directory entry: harmless
        if st.st_nlink > 1 and (st.st_size, st.st_mtime_ns) != (size, mtime):
            out.append(path)
    return out
