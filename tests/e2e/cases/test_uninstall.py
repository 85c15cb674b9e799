"""The uninstaller on its own: command line, exit codes and their boxes, the confirmation,
the three sections of the uninstall script, the error report, quiet mode and drivers; and
the installer's roll-back seen from outside (the prefix before and after).

Uninstall scripts are written by hand here unless a test says otherwise, so that every
section ending and every failure can be had; registry keys and driver services are put
into the prefix's registry files before its first program starts.
"""
import os
import time

import harness as h
import integration_flow as f
from harness import box

COMPANY = "Kestrel Lane Software"
APP = "Lumivane"
VERSION = "1.0.2"
CONFIRM = "Are you sure that you want to uninstall Lumivane 1.0.2?"
DEFAULT_CAPTION = "Orv Uninstall"
NO_FILE = "No uninstall file given on command line"
OPEN_FAILED = "Error: could not open the uninstall file:\r\n"
COMPLETE = "Uninstallation complete."
PARTIAL = "Partial uninstallation complete."
RESTART = "\r\n\r\nYou need to restart your computer to complete the uninstallation"

DIR = "C:\\Orv Test\\Lumivane"
SCRIPT = DIR + "\\Uninst.orv"
KEY = "Software\\Orv Test\\Lumivane"
USER_KEY = "Software\\Orv Test\\User"

DRIVER = "orvtest"
DRIVER_FILE = "C:\\windows\\system32\\drivers\\orvtest.sys"
SERVICE_KEY = "System\\CurrentControlSet\\Services\\orvtest"
RUNNING, STOPPED, NO_SERVICE = "4", "1", "none"


# --- helpers -----------------------------------------------------------------------------

def uninstaller(case, ft=False):
    return case.need(h.win_file("uninstall_ft.exe" if ft else "uninstall.exe"))


def text(lines, last_crlf=True):
    body = "\r\n".join(lines) + ("\r\n" if last_crlf else "")
    return body.encode("cp1252")


def write_script(pfx, lines, path=SCRIPT, last_crlf=True):
    pfx.write(path, text(lines, last_crlf))


def confirm(button=1):
    return box(COMPANY, CONFIRM, button)


def add_reg_key(pfx, root, key, values=None):
    """Puts a key with values into the prefix's registry file (HKLM: system.reg, HKCU:
    user.reg). Only before the prefix's first program: the wineserver rewrites the files."""
    path = os.path.join(pfx.path, "system.reg" if root == "HKLM" else "user.reg")
    lines = ["", "[%s] %d" % (key.replace("\\", "\\\\"), int(time.time())), "#time=0"]
    for name, value in (values or {"Orv": "test"}).items():
        if isinstance(value, int):
            lines.append('"%s"=dword:%08x' % (name, value))
        else:
            lines.append('"%s"="%s"' % (name, value.replace("\\", "\\\\")))
    with open(path, "a", encoding="utf-8") as fh:
        fh.write("\n".join(lines) + "\n")


def add_driver_service(pfx, start):
    """The test driver's file and service key as an installation leaves them; start 2 has
    Wine start the driver when the prefix's session begins, 3 leaves it stopped."""
    pfx.copy_in(case_need_driver(), DRIVER_FILE)
    add_reg_key(pfx, "HKLM", SERVICE_KEY, {
        "Type": 1, "Start": start, "ErrorControl": 1, "DisplayName": "Orv test driver",
        "ImagePath": "C:\\windows\\system32\\drivers\\orvtest.sys"})


def case_need_driver():
    path = h.win_file("orvtest.sys")
    if not os.path.exists(path):
        raise h.Skip("%s is not built" % path)
    return path


def run_uninstall(pfx, case, scenario, tail=None, ft=False, **kw):
    """Runs the uninstaller with the command tail given literally (default: the script)."""
    program = pfx.win(uninstaller(case, ft))
    tail = SCRIPT if tail is None else tail
    return pfx.run(cmdline=program + " " + tail, scenario=scenario, **kw)


def only_dialog(r, caption):
    found = [d for d in r.dialogs if d.get("caption") == caption]
    assert len(found) >= 1, "no box %r among %r" % (caption, [d.get("caption") for d in r.dialogs])
    return found[-1]


def product_files(pfx):
    """A small installation: files, a subdirectory, an empty directory."""
    pfx.write(DIR + "\\Lumivane.exe", b"MZ")
    pfx.write(DIR + "\\README.TXT", b"read me")
    pfx.write(DIR + "\\docs\\index.html", b"<html></html>")
    os.makedirs(pfx.host(DIR + "\\empty"), exist_ok=True)
    return [SCRIPT, DIR + "\\Lumivane.exe", DIR + "\\README.TXT", DIR + "\\docs\\index.html",
            DIR + "\\empty", DIR + "\\docs", DIR, "C:\\Orv Test"]


def full_script(files):
    return [COMPANY, APP, VERSION] + files + [".", "HKLM", KEY, "HKCU", USER_KEY, ".", "."]


def assert_removed(pfx, paths):
    left = [p for p in paths if pfx.exists(p)]
    assert not left, "still there: %r" % left


def assert_kept(pfx, paths):
    gone = [p for p in paths if not pfx.exists(p)]
    assert not gone, "removed: %r" % gone


# --- command line and exit codes -------------------------------------------------------------

def test_no_command_tail_is_1(case):
    pfx = case.prefix()
    r = pfx.run(cmdline=pfx.win(uninstaller(case)), scenario=box(DEFAULT_CAPTION, NO_FILE) + "end\n")
    assert r.exit_code == 1, r.exit_code


def test_empty_command_tail_is_2(case):
    pfx = case.prefix()
    r = pfx.run(cmdline=pfx.win(uninstaller(case)) + " \t ", scenario=box(DEFAULT_CAPTION, NO_FILE) + "end\n")
    assert r.exit_code == 2, r.exit_code


def test_file_that_cannot_be_opened_is_minus_1(case):
    pfx = case.prefix()
    missing = "C:\\Orv Test\\nothing here\\Uninst.orv"
    r = run_uninstall(pfx, case, box(DEFAULT_CAPTION, OPEN_FAILED + missing) + "end\n", tail=missing)
    assert r.exit_code == -1, r.exit_code


def test_quoted_path_and_malformed_quiet_prefix_are_taken_literally(case):
    pfx = case.prefix()
    write_script(pfx, full_script([SCRIPT]))
    # Quotes are part of the path; "-q " alone and "-q" stuck to the path are paths too, so
    # each of these opens nothing and shows its box (not quiet).
    for i, tail in enumerate(['"%s"' % SCRIPT, "-q ", "-q" + SCRIPT, "-Q " + SCRIPT]):
        r = run_uninstall(pfx, case, box(DEFAULT_CAPTION, OPEN_FAILED + tail) + "end\n", tail=tail,
                          name="tail%d" % i)
        assert r.exit_code == -1, (tail, r.exit_code)
    assert pfx.exists(SCRIPT)


def test_open_failure_with_path_beyond_260_characters(case):
    pfx = case.prefix()
    missing = "C:\\" + "\\".join(["a" * 60] * 5) + "\\Uninst.orv"
    assert len(missing) > 300
    r = run_uninstall(pfx, case, box(DEFAULT_CAPTION, OPEN_FAILED + missing) + "end\n", tail=missing)
    assert r.exit_code == -1, r.exit_code


def test_empty_file_is_3(case):
    pfx = case.prefix()
    pfx.write(SCRIPT, b"")
    r = run_uninstall(pfx, case, box(DEFAULT_CAPTION, "internal error: could not get uninstall script size") + "end\n")
    assert r.exit_code == 3, r.exit_code
    assert pfx.exists(SCRIPT)


def test_size_that_cannot_be_had_is_3(case):
    pfx = case.prefix()
    write_script(pfx, full_script([SCRIPT]))
    r = run_uninstall(pfx, case, box(DEFAULT_CAPTION, "internal error: could not get uninstall script size") +
                      "end\n", ft=True, fault="GetFileSize:1")
    assert r.exit_code == 3, r.exit_code
    assert pfx.exists(SCRIPT)


def test_no_memory_is_4(case):
    pfx = case.prefix()
    write_script(pfx, full_script([SCRIPT]))
    r = run_uninstall(pfx, case, box(DEFAULT_CAPTION, "internal error: no memory for uninstall script") + "end\n",
                      ft=True, fault="HeapAlloc:1")
    assert r.exit_code == 4, r.exit_code
    assert pfx.exists(SCRIPT)


def test_read_failure_is_5(case):
    pfx = case.prefix()
    write_script(pfx, full_script([SCRIPT]))
    r = run_uninstall(pfx, case, box(DEFAULT_CAPTION, "internal error: could not read uninstall script") + "end\n",
                      ft=True, fault="ReadFile:1")
    assert r.exit_code == 5, r.exit_code
    assert pfx.exists(SCRIPT)


def test_two_line_script_is_6_with_product_caption(case):
    pfx = case.prefix()
    write_script(pfx, [COMPANY, APP])
    r = run_uninstall(pfx, case, box(APP, "Could not read uninstall script") + "end\n")
    assert r.exit_code == 6, r.exit_code
    assert pfx.exists(SCRIPT)


def test_one_line_script_is_6_with_default_caption(case):
    pfx = case.prefix()
    # Without CR LF: the line runs to the end of the file.
    write_script(pfx, [COMPANY], last_crlf=False)
    # A box without a caption of its own: Wine then shows "Error".
    r = run_uninstall(pfx, case, box("Error", "Could not read uninstall script") + "end\n")
    assert r.exit_code == 6, r.exit_code


def test_quiet_failures_show_nothing_and_keep_their_codes(case):
    pfx = case.prefix()
    write_script(pfx, [COMPANY, APP])
    r = run_uninstall(pfx, case, "end\n", tail="-q " + SCRIPT, name="short")
    assert r.exit_code == 6, r.exit_code
    assert r.dialogs == [], r.dialogs
    r = run_uninstall(pfx, case, "end\n", tail="-q C:\\nothing\\Uninst.orv", name="missing")
    assert r.exit_code == -1, r.exit_code
    assert r.dialogs == [], r.dialogs


# --- confirmation and the file section ------------------------------------------------------

def test_declining_removes_nothing(case):
    pfx = case.prefix()
    files = product_files(pfx)
    add_reg_key(pfx, "HKLM", KEY)
    write_script(pfx, full_script(files))
    r = run_uninstall(pfx, case, confirm(button=2) + "end\n")
    assert r.exit_code == 0, r.exit_code
    assert [d.get("caption") for d in r.dialogs] == [COMPANY], "nothing more is shown"
    assert_kept(pfx, files)
    assert pfx.registry().key("HKLM\\" + KEY) is not None


def test_complete_run_removes_files_directories_keys_and_script(case):
    pfx = case.prefix()
    files = product_files(pfx)
    add_reg_key(pfx, "HKLM", KEY)
    add_reg_key(pfx, "HKCU", USER_KEY)
    # A path that is already gone, and an empty line, which names nothing, are passed over
    # silently: no box but the closing one.
    write_script(pfx, full_script(files[:2] + [DIR + "\\gone.txt", ""] + files[2:]))
    r = run_uninstall(pfx, case, confirm() + box(APP, COMPLETE) + "end\n")
    assert r.exit_code == 0, r.exit_code
    # OK and Cancel.
    buttons = [c["id"] for c in only_dialog(r, COMPANY)["controls"] if c["class"].lower() == "button"]
    assert buttons == [1, 2], buttons
    assert_removed(pfx, files)
    reg = pfx.registry()
    assert reg.key("HKLM\\" + KEY) is None
    assert reg.key("HKCU\\" + USER_KEY) is None


def test_read_only_file_and_non_empty_directory_are_reported_and_the_run_goes_on(case):
    pfx = case.prefix()
    files = product_files(pfx)
    pfx.write(DIR + "\\locked.txt", b"read only")
    os.chmod(pfx.host(DIR + "\\locked.txt"), 0o444)
    pfx.write(DIR + "\\full\\unlisted.txt", b"not in the script")
    lines = files[:2] + [DIR + "\\locked.txt", DIR + "\\full"] + files[2:-2]
    write_script(pfx, [COMPANY, APP, VERSION] + lines + [".", ".", "."])
    report = "".join("Could not remove %s\r\n" % p for p in (DIR + "\\locked.txt", DIR + "\\full"))
    r = run_uninstall(pfx, case, confirm() + box(APP, report) + box(APP, COMPLETE) + "end\n")
    assert r.exit_code == 0, r.exit_code
    assert_removed(pfx, [SCRIPT, DIR + "\\Lumivane.exe", DIR + "\\README.TXT", DIR + "\\docs\\index.html",
                         DIR + "\\empty", DIR + "\\docs"])
    assert_kept(pfx, [DIR + "\\locked.txt", DIR + "\\full\\unlisted.txt", DIR])


def test_path_with_blanks_works_unquoted(case):
    pfx = case.prefix()
    where = "C:\\Program Files\\Orv Test Dir\\With  two blanks"
    script = where + "\\Uninst.orv"
    pfx.write(where + "\\a b.txt", b"x")
    write_script(pfx, [COMPANY, APP, VERSION, script, where + "\\a b.txt", where, ".", ".", "."], path=script)
    r = run_uninstall(pfx, case, confirm() + box(APP, COMPLETE) + "end\n", tail=script)
    assert r.exit_code == 0, r.exit_code
    assert_removed(pfx, [script, where + "\\a b.txt", where])


def test_confirmation_beyond_260_characters(case):
    pfx = case.prefix()
    product = "Lumivane " + "x" * 200
    version = "1.0.2 build " + "7" * 20
    pfx.write(DIR + "\\a.txt", b"x")
    write_script(pfx, [COMPANY, product, version, SCRIPT, DIR + "\\a.txt", ".", ".", "."])
    question = "Are you sure that you want to uninstall %s %s?" % (product, version)
    assert len(question) > 259
    r = run_uninstall(pfx, case, box(COMPANY, question) + box(product, COMPLETE) + "end\n")
    assert r.exit_code == 0, r.exit_code
    assert_removed(pfx, [SCRIPT, DIR + "\\a.txt"])


# --- the registry section ----------------------------------------------------------------------

def test_unknown_and_lower_case_roots_are_reported_with_the_root_line(case):
    pfx = case.prefix()
    add_reg_key(pfx, "HKLM", KEY)
    add_reg_key(pfx, "HKCU", USER_KEY)
    # Each unrecognised root takes its key line with it; a key that is not there is
    # reported with its key line; the recognised pairs are removed.
    write_script(pfx, [COMPANY, APP, VERSION, SCRIPT, ".",
                       "HKXX", "Software\\Orv Test\\A", "hklm", KEY, "HKLM ", KEY, "HKCU", USER_KEY,
                       "HKCU", "Software\\Orv Test\\Not there", "HKLM", KEY, ".", "."])
    report = ("Could not remove registry key HKXX\r\n"
              "Could not remove registry key hklm\r\n"
              "Could not remove registry key HKLM \r\n"
              "Could not remove registry key Software\\Orv Test\\Not there\r\n")
    r = run_uninstall(pfx, case, confirm() + box(APP, report) + box(APP, COMPLETE) + "end\n")
    assert r.exit_code == 0, r.exit_code
    reg = pfx.registry()
    assert reg.key("HKLM\\" + KEY) is None
    assert reg.key("HKCU\\" + USER_KEY) is None


def test_more_failures_than_the_report_holds(case):
    pfx = case.prefix()
    pairs = []
    for i in range(40):
        pairs += ["HKCU", "Software\\Orv Test\\Missing key number %02d" % i + "_" * (i % 3)]
    write_script(pfx, [COMPANY, APP, VERSION, SCRIPT, "."] + pairs + [".", "."])
    expected = ""
    for key in pairs[1::2]:
        entry = "Could not remove registry key " + key + "\r\n"
        if len(expected) + len(entry) <= 1022:
            expected += entry
    assert len(expected) > 1000
    r = run_uninstall(pfx, case, confirm() + box(APP, expected) + box(APP, COMPLETE) + "end\n")
    assert r.exit_code == 0, r.exit_code


# --- where the script ends ----------------------------------------------------------------------

def check_ending(case, tail_lines, closing, last_crlf=True, report=None):
    pfx = case.prefix()
    pfx.write(DIR + "\\a.txt", b"x")
    add_reg_key(pfx, "HKCU", USER_KEY)
    write_script(pfx, [COMPANY, APP, VERSION, SCRIPT, DIR + "\\a.txt", DIR] + tail_lines, last_crlf=last_crlf)
    steps = confirm() + (box(APP, report) if report else "") + box(APP, closing) + "end\n"
    r = run_uninstall(pfx, case, steps)
    assert r.exit_code == 0, r.exit_code
    assert_removed(pfx, [SCRIPT, DIR + "\\a.txt", DIR])
    return pfx


def test_script_ending_in_file_section_is_partial(case):
    check_ending(case, [], PARTIAL)


def test_script_ending_in_file_section_without_last_crlf_is_partial(case):
    check_ending(case, [], PARTIAL, last_crlf=False)


def test_script_ending_in_registry_section_is_partial(case):
    pfx = check_ending(case, [".", "HKCU", USER_KEY], PARTIAL)
    assert pfx.registry().key("HKCU\\" + USER_KEY) is None


def test_root_line_without_key_line_is_partial(case):
    pfx = check_ending(case, [".", "HKCU"], PARTIAL)
    assert pfx.registry().key("HKCU\\" + USER_KEY) is not None


def test_script_ending_after_registry_section_is_complete(case):
    check_ending(case, [".", "HKCU", USER_KEY, "."], COMPLETE)


def test_script_ending_in_driver_section_is_complete(case):
    check_ending(case, [".", "HKCU", USER_KEY, ".", "."], COMPLETE)


def test_section_markers_are_exact(case):
    # ". " is a path, so the file section runs on to the end of the script, taking the
    # registry lines as paths. None of them is absolute: each is refused and reported.
    pfx = check_ending(case, [". ", "HKCU", USER_KEY, "."], PARTIAL,
                       report="Could not remove . \r\nCould not remove HKCU\r\nCould not remove %s\r\n" % USER_KEY)
    assert pfx.registry().key("HKCU\\" + USER_KEY) is not None


# --- quiet mode ------------------------------------------------------------------------------------

def test_quiet_mode_shows_nothing_and_removes_the_same(case):
    pfx = case.prefix()
    files = product_files(pfx)
    pfx.write(DIR + "\\full\\unlisted.txt", b"makes a failure")
    add_reg_key(pfx, "HKLM", KEY)
    add_reg_key(pfx, "HKCU", USER_KEY)
    write_script(pfx, full_script(files[:-3] + [DIR + "\\full"] + files[-3:]))
    r = run_uninstall(pfx, case, "end\n", tail="-q " + SCRIPT)
    assert r.exit_code == 0, r.exit_code
    assert r.dialogs == [], [d.get("caption") for d in r.dialogs]
    assert_removed(pfx, files[:-3] + [files[-3]])
    assert_kept(pfx, [DIR + "\\full\\unlisted.txt"])
    reg = pfx.registry()
    assert reg.key("HKLM\\" + KEY) is None
    assert reg.key("HKCU\\" + USER_KEY) is None


def test_quiet_mode_with_partial_script_shows_nothing(case):
    pfx = case.prefix()
    pfx.write(DIR + "\\a.txt", b"x")
    write_script(pfx, [COMPANY, APP, VERSION, SCRIPT, DIR + "\\a.txt", DIR])
    r = run_uninstall(pfx, case, "end\n", tail="-q " + SCRIPT)
    assert r.exit_code == 0, r.exit_code
    assert r.dialogs == [], [d.get("caption") for d in r.dialogs]
    assert_removed(pfx, [SCRIPT, DIR + "\\a.txt", DIR])


# --- drivers ------------------------------------------------------------------------------------------

def driver_script(pfx, names=(DRIVER,)):
    write_script(pfx, [COMPANY, APP, VERSION, SCRIPT, ".", "."] + list(names) + ["."])


def check_driver_gone(pfx):
    assert h.service_state(pfx, DRIVER) == NO_SERVICE
    assert not pfx.exists(DRIVER_FILE)
    assert pfx.registry().key("HKLM\\" + SERVICE_KEY) is None


@h.timeout(1200)
def test_running_driver_is_stopped_and_deleted_without_restart(case):
    case.need(h.win_file("svcstate.exe"))
    pfx = case.prefix("nt40")
    add_driver_service(pfx, start=2)
    driver_script(pfx)
    assert h.service_state(pfx, DRIVER) == RUNNING
    r = run_uninstall(pfx, case, confirm() + box(APP, COMPLETE) + "end\n")
    assert r.exit_code == 0, r.exit_code
    assert_removed(pfx, [SCRIPT])
    check_driver_gone(pfx)


@h.timeout(1200)
def test_stopped_driver_is_deleted_too(case):
    case.need(h.win_file("svcstate.exe"))
    pfx = case.prefix("nt40")
    add_driver_service(pfx, start=3)
    driver_script(pfx)
    assert h.service_state(pfx, DRIVER) == STOPPED
    r = run_uninstall(pfx, case, confirm() + box(APP, COMPLETE) + "end\n")
    assert r.exit_code == 0, r.exit_code
    check_driver_gone(pfx)


# A driver that cannot be stopped: test_uninstall_safety.py (it is marked for deletion).


@h.timeout(1200)
def test_failed_deletion_of_stopped_driver_asks_for_restart(case):
    case.need(h.win_file("svcstate.exe"))
    pfx = case.prefix("nt40")
    add_driver_service(pfx, start=3)
    driver_script(pfx)
    r = run_uninstall(pfx, case, confirm() + box(APP, COMPLETE + RESTART) + "end\n", ft=True,
                      fault="DeleteService:1")
    assert r.exit_code == 0, r.exit_code
    assert not pfx.exists(DRIVER_FILE)


@h.timeout(1200)
def test_one_of_two_drivers_not_removed_still_asks_for_restart(case):
    case.need(h.win_file("svcstate.exe"))
    pfx = case.prefix("nt40")
    add_driver_service(pfx, start=3)
    # The first name has no service at all: it cannot be removed; the second can.
    driver_script(pfx, names=["orvmissing", DRIVER])
    r = run_uninstall(pfx, case, confirm() + box(APP, COMPLETE + RESTART) + "end\n")
    assert r.exit_code == 0, r.exit_code
    check_driver_gone(pfx)


@h.timeout(1200)
def test_driver_that_does_not_stop_in_time_asks_for_restart(case):
    case.need(h.win_file("svcstate.exe"))
    pfx = case.prefix("nt40")
    add_driver_service(pfx, start=2)
    driver_script(pfx)
    assert h.service_state(pfx, DRIVER) == RUNNING
    # Every interrogation after the stop request fails: ten checks a second apart, then the
    # deletion is requested all the same and the restart asked for.
    t0 = time.time()
    r = run_uninstall(pfx, case, confirm() + box(APP, COMPLETE + RESTART) + "end\n", ft=True,
                      fault="ControlService:3+")
    assert r.exit_code == 0, r.exit_code
    assert time.time() - t0 >= 10, "the ten checks took %.1f s" % (time.time() - t0)
    assert not pfx.exists(DRIVER_FILE)


def test_win98_driver_line_asks_for_restart_and_removes_file_and_key(case):
    pfx = case.prefix("win98")
    add_driver_service(pfx, start=3)
    driver_script(pfx)
    r = run_uninstall(pfx, case, confirm() + box(APP, COMPLETE + RESTART) + "end\n")
    assert r.exit_code == 0, r.exit_code
    assert not pfx.exists(DRIVER_FILE)
    assert pfx.registry().key("HKLM\\" + SERVICE_KEY) is None


def test_windows_directory_that_cannot_be_had_is_reported(case):
    pfx = case.prefix("win98")
    add_driver_service(pfx, start=3)
    driver_script(pfx)
    r = run_uninstall(pfx, case, confirm() + box(APP, "Could not get windows directory\r\n") +
                      box(APP, COMPLETE + RESTART) + "end\n", ft=True, fault="GetWindowsDirectoryA:1")
    assert r.exit_code == 0, r.exit_code
    # The driver file and the service key are then left alone.
    assert pfx.exists(DRIVER_FILE)
    assert pfx.registry().key("HKLM\\" + SERVICE_KEY) is not None


def test_driver_name_beyond_260_characters(case):
    pfx = case.prefix("nt40")
    driver_script(pfx, names=["d" * 300])
    r = run_uninstall(pfx, case, confirm() + box(APP, COMPLETE + RESTART) + "end\n")
    assert r.exit_code == 0, r.exit_code


# --- a real installation, and the installer's roll-back ------------------------------------------

@h.timeout(1500)
def test_real_installation_is_removed_completely(case):
    setup = case.need(h.win_file("install.exe"))
    pfx = case.prefix()
    before = pfx.snapshot()
    r = pfx.run(setup, scenario=f.to_folder_dialog() + f.accept_folder() + f.finish(), name="install")
    assert r.exit_code == 0, r.exit_code
    installed = before.diff(pfx.snapshot(), ignore=h.WINE_NOISE)
    assert f.INSTALL_DIR + "\\Uninst.orv" in installed["files_added"], installed["files_added"]
    command = pfx.registry().value(f.UNINSTALL_KEY, "UninstallString")
    assert command, "no UninstallString"
    r = pfx.run(cmdline=command, scenario=confirm() + box(APP, COMPLETE) + "end\n", name="uninstall")
    assert r.exit_code == 0, r.exit_code
    left = h.leftovers(before, pfx.snapshot())
    # The uninstaller itself stays in the Windows directory.
    assert left == {"files_added": ["C:\\windows\\UnstOrv.exe"]}, left


def check_roll_back_exit(r):
    """The quiet uninstaller ended with 0, where the dialog driver saw it (Wine's menu
    builder, disabled in the tests, shows up beside it with "DLL not found" for each shortcut
    made). A roll-back that starts and ends between two of the driver's looks at the process
    list is not seen; the snapshot after it waits for every program of the session to end,
    so what the roll-back left is checked either way."""
    if r.children:
        assert any(c.get("code") == 0 for c in r.children), "no roll-back ended with 0: %r" % r.children


def check_roll_back(case, scenario, fault=None):
    setup = f.installer(case, f.script())
    pfx = case.prefix()
    before = pfx.snapshot()
    r = pfx.run(setup, scenario=scenario, fault=fault)
    check_roll_back_exit(r)
    left = h.leftovers(before, pfx.snapshot())
    assert left == {"files_added": ["C:\\windows\\UnstOrv.exe"]}, left


@h.timeout(1200)
def test_roll_back_after_cancelled_program_folder(case):
    check_roll_back(case, f.to_folder_dialog() + """
        expect caption="Select Program Folder"
        press 2
    """ + f.warning("Installation cancelled") + "end\n")


@h.timeout(1200)
def test_roll_back_after_injected_fault_in_program_folder_step(case):
    check_roll_back(case, f.to_folder_dialog() + f.warning("Could not get Programs folder") + "end\n",
                    fault="SHGetSpecialFolderLocation:1")


@h.timeout(1200)
def test_roll_back_after_file_section_closed(case):
    # A registry item line fails the driver step after the shortcuts and the closed file
    # section: the roll-back takes files, shortcuts, folder and directories away.
    setup = f.installer(case, f.script(registry=["HKLM,Software\\Kestrel Lane"]))
    pfx = case.prefix()
    before = pfx.snapshot()
    r = pfx.run(setup, scenario=f.to_folder_dialog() + f.accept_folder() + f.internal_error(30) + "end\n")
    check_roll_back_exit(r)
    left = h.leftovers(before, pfx.snapshot())
    assert left == {"files_added": ["C:\\windows\\UnstOrv.exe"]}, left
