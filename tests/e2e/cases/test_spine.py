"""The installer's spine: start-up from the install script, the window, the platform check,
the confirmation, the uninstaller deployment, the required files, the licence, the
installation directory and the uninstall script up to the first step after it.

The installers made here carry no FILELIST and no DATA: a run that gets past the creation
of the uninstall script ends at the payload expansion with internal error 36 ("DATA" not
found), which is the first failure after the uninstall script exists and so shows what the
worker does with the script of a failed installation. Where the script itself is to be
checked, the roll-back is kept from starting with ORV_FAULT=ShellExecuteA:1.
"""

import harness as h
from harness import box, q

COMPANY = "Kestrel Lane Software"
APP = "Lumivane"
VERSION = "1.0.2"
SETUP_NAME = APP + " " + VERSION + " setup"
TITLE = COMPANY + " - " + SETUP_NAME
QUESTION = "Are you sure you want to install %s %s?" % (APP, VERSION)
SITE = "http://www.kestrellane.co.uk/download/"
INSTALL_DIR = "C:\\Program Files\\Orv\\Lumivane"
SCRIPT_PATH = INSTALL_DIR + "\\Uninst.orv"
UNINSTALLER = "C:\\windows\\UnstOrv.exe"
CANCELLED = "Installation cancelled"
REFUSAL = "Sorry, this installation program must be run in one of these operating systems:\r\n"
NAMES = {"95": "Windows 95  ", "98": "Windows 98 or later  ", "NT": "Windows NT 4  ", "W2": "Windows 2000 or later"}
LICENCE = "Be nice.\r\nShare the road.\r\n"
DRIVE_SPEC = "Please start the installation directory with a drive specification, eg C:\\"
VALID_DRIVE = "Please specify a valid drive, eg C:\\"
FILE_EXISTS = "Sorry, you cannot create this directory as this file exists:\r\n"
CANNOT_CREATE = "Sorry, could not create this directory:\r\n"
CREATE_QUESTION = "This directory does not exist.  Do you want to create it?"
BS_DEFPUSHBUTTON = 0x1
END = "."


def script(platforms="95,98,NT,W2", uninstall="UnstOrv.exe,1,0,0,3", windows_deps=(), system_deps=(),
           lines=None):
    """An install script of the example's shape up to the suggested folder name, with CR LF
    line ends; lines= cuts it to its first lines (to make it end early)."""
    all_lines = [platforms + "\t\t; Min supported platforms", uninstall, COMPANY + "\t; Company name", APP, VERSION,
                 SITE] + list(windows_deps) + [END] + list(system_deps) + [END, "Orv\\Lumivane\\", "Lumivane",
                                                                         "index.html,Lumivane documentation", END,
                                                                         END, END, END]
    if lines is not None:
        all_lines = all_lines[:lines]
    return "".join(line + "\r\n" for line in all_lines)


def installer(case, text=None, licence=LICENCE, name="setup.exe", **kw):
    """A test build of the installer without FILELIST and DATA."""
    omit = list(kw.pop("omit", ())) + ["FILELIST", "DATA"]
    return case.product(script=script() if text is None else text, licence=licence, omit=omit, **kw).build(name)


def confirm(answer=1):
    return box(COMPANY, QUESTION, answer)


def licence(answer=1):
    return 'expect caption="Software Licence Agreement"\npress %d\n' % answer


def folder_dialog(entry=None, shown=None, answer=1):
    """The "Choose folder" dialog: checks the text it shows, types an entry, answers."""
    steps = 'expect caption="Choose folder"\n'
    if shown is not None:
        steps += "control 1000 text=%s\n" % q(shown)
    if entry is not None:
        steps += "type 1000 %s\n" % q(entry)
    return steps + "press %d\n" % answer


def warning(text):
    return box(APP, text)


def internal_error(number, caption=APP):
    return box(caption, "Orv Install internal error %d" % number)


def script_bytes(lines):
    return "".join(line + "\r\n" for line in lines).encode("cp1252")


def header_lines(install_dir=INSTALL_DIR):
    return [COMPANY, APP, VERSION, install_dir + "\\Uninst.orv"]


def carried_uninstaller():
    return open(h.win_file("uninstall_ft.exe"), "rb").read()


def dialog_record(r, text):
    for d in r.dialogs:
        if d.get("text") == text:
            return d
    raise AssertionError("no dialog with text %r among %r" % (text, [d.get("text") for d in r.dialogs]))


def button_style(dialog, button_id):
    for c in dialog["controls"]:
        if c["id"] == button_id:
            return c["style"]
    raise AssertionError("no control %d in %r" % (button_id, dialog["controls"]))


# --- Start-up ------------------------------------------------------------------------------

def test_cancel_at_confirmation_writes_nothing(case):
    setup = installer(case)
    pfx = case.prefix()
    before = pfx.snapshot()
    r = pfx.run(setup, scenario=confirm(2) + "end\n")
    assert r.exit_code == 0, r.exit_code
    main = [w for w in r.windows if w.get("class") == APP]
    assert main, "no window of class %s among %r" % (APP, [(w.get("class"), w.get("caption")) for w in r.windows])
    assert main[0]["caption"] == TITLE, main[0]["caption"]
    # Wine refreshes its own device and input caches under C:\windows\inf on a first start.
    diff = before.diff(pfx.snapshot(), ignore=[r"\\users\\", r"\\windows\\temp\\", r"\\windows\\inf\\.*\.pnf$",
                                                r"^HKCU\\", r"HKLM\\System\\"])
    assert not diff["files_added"] and not diff["files_changed"], diff
    assert not pfx.exists(UNINSTALLER)


@h.timeout(1800)
def test_script_ending_early_ends_with_its_number(case):
    # Boxes before AppName (item 4) is read show the platform's default caption.
    pfx = case.prefix()
    for lines, number in ((0, 104), (1, 105), (2, 106), (3, 107), (4, 108)):
        setup = installer(case, script(lines=lines), name="setup%d.exe" % lines)
        caption = APP if number == 108 else "Error"
        r = pfx.run(setup, scenario=internal_error(number, caption) + "end\n", name="items%d" % lines)
        assert r.exit_code == number, (lines, r.exit_code)
        assert not [w for w in r.windows if w.get("class") == APP], "a main window opened for %d" % number


def test_missing_script_resource_is_100(case):
    setup = installer(case, omit=["SCRIPT"])
    pfx = case.prefix()
    r = pfx.run(setup, scenario=internal_error(100, "Error") + "end\n")
    assert r.exit_code == 100, r.exit_code


# --- Platforms -----------------------------------------------------------------------------

def platform_case(case, version, deciding):
    """On the prefix's Windows version, the platforms line without the deciding code is
    refused with the names of the others, and the deciding code alone is allowed."""
    others = [code for code in ("95", "98", "NT", "W2") if code != deciding]
    refused = installer(case, script(platforms=",".join(others)), name="refused.exe")
    allowed = installer(case, script(platforms=deciding), name="allowed.exe")
    pfx = case.prefix(version)
    text = REFUSAL + "".join(NAMES[code] for code in others)
    r = pfx.run(refused, scenario=warning(text) + "end\n", name="refused")
    assert r.exit_code == 0, r.exit_code
    assert not pfx.exists(UNINSTALLER)
    r = pfx.run(allowed, scenario=confirm(2) + "end\n", name="allowed")
    assert r.exit_code == 0, r.exit_code


def test_platform_win95(case):
    platform_case(case, "win95", "95")


def test_platform_win98(case):
    platform_case(case, "win98", "98")


def test_platform_winme(case):
    platform_case(case, "winme", "98")


def test_platform_nt40(case):
    platform_case(case, "nt40", "NT")


def test_platform_win2k(case):
    platform_case(case, "win2k", "W2")


def test_platform_default(case):
    platform_case(case, "default", "W2")


def test_platform_refusal_with_only_95_and_nt_ends_with_two_blanks(case):
    setup = installer(case, script(platforms="95,,NT"))
    pfx = case.prefix()
    r = pfx.run(setup, scenario=warning(REFUSAL + "Windows 95  Windows NT 4  ") + "end\n")
    assert r.exit_code == 0, r.exit_code


def test_malformed_platforms_line(case):
    pfx = case.prefix()
    for n, (line, number) in enumerate((("95, 98", 1), ("95,nt", 2), (",,", 3))):
        setup = installer(case, script(platforms=line), name="setup%d.exe" % n)
        r = pfx.run(setup, scenario=internal_error(number) + "end\n", name="line%d" % n)
        assert r.exit_code == 0, (line, r.exit_code)
    assert not pfx.exists(UNINSTALLER)


# --- Required files ------------------------------------------------------------------------

def missing_message(paths):
    return ("Sorry, you do not seem to have these required files:\n\n" + "".join(p + "\n" for p in paths) +
            "\nYou may be able to get these files from the Orv download site at " + SITE +
            "\n\nPress Cancel to abort the installation or OK to continue")


def test_missing_required_files_in_both_lists(case):
    # A directory and an empty line (the directory itself) count as present.
    text = script(windows_deps=["a.dll", "system32", "", "b.dll", "sub\\c.dll"],
                  system_deps=["kernel32.dll", "nothere.sys"])
    setup = installer(case, text)
    pfx = case.prefix()
    windows_message = missing_message(["C:\\windows\\a.dll", "C:\\windows\\b.dll", "C:\\windows\\sub\\c.dll"])
    system_message = missing_message(["C:\\windows\\system32\\nothere.sys"])
    r = pfx.run(setup, scenario=confirm() + box(SETUP_NAME, windows_message, 1) + box(SETUP_NAME, system_message, 2) +
                warning(CANCELLED) + "end\n")
    assert r.exit_code == 0, r.exit_code
    for message in (windows_message, system_message):
        d = dialog_record(r, message)
        assert button_style(d, 2) & BS_DEFPUSHBUTTON, "Cancel is not the default: %#x" % button_style(d, 2)
        assert not button_style(d, 1) & BS_DEFPUSHBUTTON, "OK is the default: %#x" % button_style(d, 1)
    # The uninstaller comes before the required files.
    assert pfx.read(UNINSTALLER) == carried_uninstaller()
    assert not pfx.exists(INSTALL_DIR)


def test_missing_required_files_default_button_cancels(case):
    setup = installer(case, script(windows_deps=["a.dll"]))
    pfx = case.prefix()
    r = pfx.run(setup, scenario=confirm() + "expect caption=%s text=%s\npress default\n" % (
        q(SETUP_NAME), q(missing_message(["C:\\windows\\a.dll"]))) + warning(CANCELLED) + "end\n")
    assert r.exit_code == 0, r.exit_code


def test_script_ending_in_a_dependency_list_is_301(case):
    setup = installer(case, script(lines=6))
    pfx = case.prefix()
    r = pfx.run(setup, scenario=confirm() + internal_error(301) + "end\n")
    assert r.exit_code == 0, r.exit_code
    assert pfx.read(UNINSTALLER) == carried_uninstaller()


# --- Licence -------------------------------------------------------------------------------

def test_licence_declined(case):
    setup = installer(case)
    pfx = case.prefix()
    r = pfx.run(setup, scenario=confirm() + 'expect caption="Software Licence Agreement"\n'
                'control 1004 text="Be nice.\\r\\nShare the road."\npress 2\n' + warning(CANCELLED) + "end\n")
    assert r.exit_code == 0, r.exit_code
    assert pfx.read(UNINSTALLER) == carried_uninstaller()
    assert not pfx.exists(INSTALL_DIR)


# --- Installation directory ----------------------------------------------------------------

def test_every_message_of_the_directory_loop(case):
    setup = installer(case)
    pfx = case.prefix()
    pfx.write("C:\\blocker", b"a file in the way")
    steps = confirm() + licence()
    steps += folder_dialog(shown=INSTALL_DIR + "\\", entry="Program Files\\X") + box(APP, DRIVE_SPEC)
    steps += folder_dialog(shown="Program Files\\X\\", entry="C:/Temp") + box(APP, DRIVE_SPEC)
    steps += folder_dialog(entry="\\\\server\\share") + box(APP, DRIVE_SPEC)
    steps += folder_dialog(entry="Q:\\x") + box(APP, VALID_DRIVE)
    steps += folder_dialog(entry="C:\\blocker\\sub") + box(APP, FILE_EXISTS + "C:\\blocker")
    steps += folder_dialog(entry="C:\\New\\Deep") + box(SETUP_NAME, CREATE_QUESTION, 2)
    steps += folder_dialog(shown="C:\\New\\Deep\\") + box(SETUP_NAME, CREATE_QUESTION, 1)
    steps += internal_error(36) + "end\n"
    r = pfx.run(setup, scenario=steps, fault="ShellExecuteA:1")
    assert r.exit_code == 0, r.exit_code
    assert pfx.isdir("C:\\New\\Deep")
    assert not pfx.exists("C:\\blocker\\sub")
    # The created levels, innermost first, end the file of the failed installation.
    want = script_bytes(header_lines("C:\\New\\Deep") + ["C:\\New\\Deep", "C:\\New"])
    got = pfx.uninstall_script("C:\\New\\Deep\\Uninst.orv")
    assert got == want, "expected:\n%r\ngot:\n%r" % (want, got)


def test_level_that_cannot_be_created_stays_recorded(case):
    setup = installer(case)
    pfx = case.prefix()
    pfx.write("C:\\Existing\\keep.txt", b"x")
    steps = confirm() + licence()
    steps += folder_dialog(entry="C:\\A\\B\\C") + box(SETUP_NAME, CREATE_QUESTION, 1)
    steps += box(APP, CANNOT_CREATE + "C:\\A\\B")
    steps += folder_dialog(shown="C:\\A\\B\\C\\", entry="C:\\Existing")
    steps += internal_error(36) + "end\n"
    r = pfx.run(setup, scenario=steps, fault="CreateDirectoryA:2,ShellExecuteA:1")
    assert r.exit_code == 0, r.exit_code
    assert pfx.isdir("C:\\A") and not pfx.exists("C:\\A\\B")
    want = script_bytes(header_lines("C:\\Existing") + ["C:\\A"])
    got = pfx.uninstall_script("C:\\Existing\\Uninst.orv")
    assert got == want, "expected:\n%r\ngot:\n%r" % (want, got)


def test_default_proposal_is_created_and_recorded(case):
    setup = installer(case)
    pfx = case.prefix()
    steps = confirm() + licence() + folder_dialog(shown=INSTALL_DIR + "\\") + box(SETUP_NAME, CREATE_QUESTION, 1)
    steps += internal_error(36) + "end\n"
    r = pfx.run(setup, scenario=steps, fault="ShellExecuteA:1")
    assert r.exit_code == 0, r.exit_code
    want = script_bytes(header_lines() + [INSTALL_DIR, "C:\\Program Files\\Orv"])
    got = pfx.uninstall_script(SCRIPT_PATH)
    assert got == want, "expected:\n%r\ngot:\n%r" % (want, got)


def test_previous_script_directories_carried_over(case):
    # A first attempt creates a level inside the old installation directory and fails one
    # level further; the existing directory is then chosen. The level created in this run
    # must still stand before the carried-over directory that holds it.
    setup = installer(case)
    pfx = case.prefix()
    old = [COMPANY, APP, "1.0.1", SCRIPT_PATH, INSTALL_DIR + "\\old.txt", "C:\\Gone", INSTALL_DIR + "\\docs",
           INSTALL_DIR, "C:\\Program Files\\Orv", ".", "HKLM",
           "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Lumivane", ".", "."]
    pfx.write(SCRIPT_PATH, script_bytes(old))
    pfx.write(INSTALL_DIR + "\\docs\\a.html", b"x")
    steps = confirm() + licence()
    steps += folder_dialog(entry=INSTALL_DIR + "\\New\\Deep") + box(SETUP_NAME, CREATE_QUESTION, 1)
    steps += box(APP, CANNOT_CREATE + INSTALL_DIR + "\\New\\Deep")
    steps += folder_dialog(entry=INSTALL_DIR)
    steps += internal_error(36) + "end\n"
    r = pfx.run(setup, scenario=steps, fault="CreateDirectoryA:2,ShellExecuteA:1")
    assert r.exit_code == 0, r.exit_code
    want = script_bytes(header_lines() + [INSTALL_DIR + "\\docs", INSTALL_DIR + "\\New", INSTALL_DIR,
                                          "C:\\Program Files\\Orv"])
    got = pfx.uninstall_script(SCRIPT_PATH)
    assert got == want, "expected:\n%r\ngot:\n%r" % (want, got)


# --- Uninstaller deployment ----------------------------------------------------------------

def test_uninstaller_of_higher_version_left_untouched(case):
    setup = installer(case)
    pfx = case.prefix()
    # The installer itself carries version 1.0.0.4, above the script's 1.0.0.3.
    pfx.copy_in(setup, UNINSTALLER)
    before = pfx.read(UNINSTALLER)
    r = pfx.run(setup, scenario=confirm() + licence(2) + warning(CANCELLED) + "end\n")
    assert r.exit_code == 0, r.exit_code
    assert pfx.read(UNINSTALLER) == before


def test_uninstaller_of_equal_or_lower_version_replaced(case):
    pfx = case.prefix()
    equal = installer(case, name="equal.exe")
    pfx.copy_in(h.win_file("uninstall.exe"), UNINSTALLER)
    assert pfx.read(UNINSTALLER) != carried_uninstaller()
    r = pfx.run(equal, scenario=confirm() + licence(2) + warning(CANCELLED) + "end\n", name="equal")
    assert r.exit_code == 0, r.exit_code
    assert pfx.read(UNINSTALLER) == carried_uninstaller()
    # A script announcing 1.0.0.5 replaces the installer's own 1.0.0.4.
    lower = installer(case, script(uninstall="UnstOrv.exe,1,0,0,5"), name="lower.exe")
    pfx.copy_in(lower, UNINSTALLER)
    r = pfx.run(lower, scenario=confirm() + licence(2) + warning(CANCELLED) + "end\n", name="lower")
    assert r.exit_code == 0, r.exit_code
    assert pfx.read(UNINSTALLER) == carried_uninstaller()


def test_uninstall_name_with_three_numbers_is_4(case):
    setup = installer(case, script(uninstall="UnstOrv.exe,1,0,0"))
    pfx = case.prefix()
    r = pfx.run(setup, scenario=confirm() + internal_error(4) + "end\n")
    assert r.exit_code == 0, r.exit_code
    assert not pfx.exists(UNINSTALLER)


def test_failed_uninstaller_write_keeps_the_old_copy(case):
    setup = installer(case)
    pfx = case.prefix()
    pfx.copy_in(h.win_file("uninstall.exe"), UNINSTALLER)
    before = pfx.read(UNINSTALLER)
    windows_before = pfx.listdir("C:\\windows")
    r = pfx.run(setup, scenario=confirm() + internal_error(4) + "end\n", fault="WriteFile:1")
    assert r.exit_code == 0, r.exit_code
    assert pfx.read(UNINSTALLER) == before
    assert pfx.listdir("C:\\windows") == windows_before, set(pfx.listdir("C:\\windows")) ^ set(windows_before)


# --- The worker's end ----------------------------------------------------------------------

def test_failure_after_the_script_rolls_back(case):
    setup = installer(case)
    pfx = case.prefix()
    steps = confirm() + licence() + folder_dialog(entry="C:\\New\\Deep") + box(SETUP_NAME, CREATE_QUESTION, 1)
    steps += internal_error(36) + "end\n"
    r = pfx.run(setup, scenario=steps)
    assert r.exit_code == 0, r.exit_code
    pfx.flush()
    assert not pfx.exists("C:\\New"), pfx.tree("C:\\New")


def test_failure_before_the_first_header_line_leaves_no_script(case):
    setup = installer(case)
    pfx = case.prefix()
    steps = confirm() + licence() + folder_dialog(entry="C:\\New") + box(SETUP_NAME, CREATE_QUESTION, 1)
    steps += internal_error(7) + "end\n"
    # WriteFile:1 is the uninstaller's deployment, WriteFile:2 the first header line.
    r = pfx.run(setup, scenario=steps, fault="WriteFile:2,ShellExecuteA:1+")
    assert r.exit_code == 0, r.exit_code
    assert pfx.isdir("C:\\New")
    assert not pfx.exists("C:\\New\\Uninst.orv")


def test_script_that_cannot_be_created_is_6_and_keeps_the_old_one(case):
    setup = installer(case)
    pfx = case.prefix()
    old = script_bytes([COMPANY, APP, "1.0.1", SCRIPT_PATH, INSTALL_DIR, "."])
    pfx.write(SCRIPT_PATH, old)
    steps = confirm() + licence() + folder_dialog(entry=INSTALL_DIR) + internal_error(6) + "end\n"
    # CreateFileA:1 is the uninstaller's temporary copy, :2 reads the old script, :3 creates.
    r = pfx.run(setup, scenario=steps, fault="CreateFileA:3")
    assert r.exit_code == 0, r.exit_code
    assert pfx.read(SCRIPT_PATH) == old


def test_fault_in_the_sequence_counts_as_failure(case):
    setup = installer(case)
    pfx = case.prefix()
    # The prefix has no just-in-time debugger (see the harness's templates), so the
    # last-chance handling ends the faulting code.
    steps = confirm() + licence() + folder_dialog(entry="C:\\New") + box(SETUP_NAME, CREATE_QUESTION, 1) + "end\n"
    # The ninth step boundary comes right after the uninstall script was created.
    r = pfx.run(setup, scenario=steps, fault="SequenceFault:9,ShellExecuteA:1")
    assert r.exit_code == 0, r.exit_code
    want = script_bytes(header_lines("C:\\New") + ["C:\\New"])
    got = pfx.uninstall_script("C:\\New\\Uninst.orv")
    assert got == want, "expected:\n%r\ngot:\n%r" % (want, got)


def test_close_request_refused_while_the_worker_runs(case):
    setup = installer(case)
    pfx = case.prefix()
    closer = h.win_file("closer.exe")
    case.need(closer)
    # The installer waits at its first question; only the worker's own close ends it.
    pfx.run(setup, scenario="expect caption=%s text=%s\nleave\n" % (q(COMPANY), q(QUESTION)), name="installer")
    r = pfx.run(closer, args=[APP], scenario="end\n", name="closer")
    assert r.exit_code == 0, "closer ended with %r (1: the window closed at once)" % r.exit_code
    assert not pfx.exists(UNINSTALLER)
