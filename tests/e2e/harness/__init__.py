"""End-to-end test harness: Win32 programs under Wine, driven through their dialogs.

How a test looks
================
A test is a function ``test_<what>(case)`` in a file ``tests/e2e/cases/test_<area>.py``. Every
such function becomes its own CTest test ``e2e.<area>.<what>`` (label ``e2e``), run as
``python3 tests/e2e/run.py tests/e2e/cases/test_<area>.py test_<what>`` with a fresh work
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
# The modules, each one job; every name the tests use is here as harness.NAME.
from .env import (DEFAULT_TIMEOUT, PAYLOAD_TIME, VERSIONS, WINE64, WINE_ENV, Skip, arch,
                  build_dir, display, e2e_dir, fault_env, quote, run_logged, shipped_file, source_dir,
                  stop_wineserver, timeout, use_kit, win_file, wine_cmd, wine_env, wine_version)
from .templates import (AEDEBUG_KEY, SHARED_EXT, changed_shared_files, copy_prefix,
                        make_template, set_reported_version, template_dir)
from .registry import ROOTS, Registry, parse_reg_file
from .snapshots import WINE_CHURN, Snapshot
from .drive import RunResult, dedent
from .prefix import Prefix
from .products import Product, orv_tool
from .case import Case
from .scenarios import WINE_NOISE, box, leftovers, q
from .flows import (SHARED_UNINSTALLER, UNINSTALL_ROOT, example_payload, example_product,
                    install_then_uninstall, service_state, uninstall_entry, without_documentation_option)
from .xvfb import display_free, start_xvfb, stop_process, stop_xvfb, xvfb_on_free_display

__all__ = [
    "DEFAULT_TIMEOUT",
    "PAYLOAD_TIME",
    "VERSIONS",
    "WINE64",
    "WINE_ENV",
    "Skip",
    "arch",
    "build_dir",
    "display",
    "e2e_dir",
    "fault_env",
    "quote",
    "run_logged",
    "shipped_file",
    "source_dir",
    "stop_wineserver",
    "timeout",
    "use_kit",
    "win_file",
    "wine_cmd",
    "wine_env",
    "wine_version",
    "AEDEBUG_KEY",
    "SHARED_EXT",
    "changed_shared_files",
    "copy_prefix",
    "make_template",
    "set_reported_version",
    "template_dir",
    "ROOTS",
    "Registry",
    "parse_reg_file",
    "WINE_CHURN",
    "Snapshot",
    "RunResult",
    "dedent",
    "Prefix",
    "Product",
    "orv_tool",
    "Case",
    "WINE_NOISE",
    "box",
    "leftovers",
    "q",
    "SHARED_UNINSTALLER",
    "UNINSTALL_ROOT",
    "example_payload",
    "example_product",
    "install_then_uninstall",
    "service_state",
    "uninstall_entry",
    "without_documentation_option",
    "display_free",
    "start_xvfb",
    "stop_process",
    "stop_xvfb",
    "xvfb_on_free_display",
]
