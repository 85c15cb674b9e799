"""The Add/Remove Programs entry and the complete uninstall script of the example product."""
import os

import harness as h
import integration_flow as f

COMMAND = "C:\\windows\\UnstOrv.exe " + f.INSTALL_DIR + "\\Uninst.orv"


def test_add_remove_programs_entry(case):
    setup = f.installer(case, f.script())
    pfx = case.prefix()
    r = pfx.run(setup, scenario=f.to_folder_dialog() + f.accept_folder() + f.finish())
    assert r.exit_code == 0, r.exit_code
    header, secs = f.sections(f.uninstall_lines(pfx))
    assert secs[1:] == [["HKLM", f.UNINSTALL_KEY[len("HKLM\\"):]], []], secs[1:]
    key = pfx.registry().key(f.UNINSTALL_KEY)
    # Unquoted paths and no "-q ": the command as the uninstaller expects it from the list.
    assert key == {"DisplayName": f.APP, "UninstallString": COMMAND}, key


def example_file_names():
    path = h.win_file(os.path.join("example", "packed", "FILELIST"))
    with open(path, "rb") as fh:
        text = fh.read().decode("cp1252")
    return [line.split(",", 1)[0] for line in text.split("\r\n") if line]


def test_example_uninstall_script_byte_for_byte(case):
    setup = h.win_file("install.exe")
    case.need(setup)
    case.need(h.win_file(os.path.join("example", "packed", "FILELIST")))
    names = example_file_names()
    pfx = case.prefix()
    programs = pfx.programs_folder()
    # The documentation option is left unticked: opening a browser is not this test's business.
    r = pfx.run(setup, scenario=f.to_folder_dialog() + f.accept_folder() + f.finish())
    assert r.exit_code == 0, r.exit_code

    folder = programs + "\\Lumivane"
    created = []
    for name in names:
        parts = name.split("\\")[:-1]
        for i in range(1, len(parts) + 1):
            sub = f.INSTALL_DIR + "\\" + "\\".join(parts[:i])
            if sub not in created:
                created.append(sub)
    expected = [f.COMPANY, f.APP, f.VERSION, f.INSTALL_DIR + "\\Uninst.orv"]
    expected += [f.INSTALL_DIR + "\\" + name for name in names]
    expected += [folder + "\\Lumivane documentation.lnk", folder + "\\Writing HTML CD-ROMs article.lnk"]
    expected += [folder] + created[::-1] + [f.INSTALL_DIR, "C:\\Program Files\\Orv", "."]
    expected += ["HKLM", "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Lumivane", ".", "."]
    want = "".join(line + "\r\n" for line in expected).encode("cp1252")
    got = pfx.uninstall_script(f.INSTALL_DIR + "\\Uninst.orv")
    assert got == want, "expected:\n%s\ngot:\n%s" % (want.decode("cp1252"), got.decode("cp1252", "replace"))
    key = pfx.registry().key(f.UNINSTALL_KEY)
    assert key == {"DisplayName": "Lumivane", "UninstallString": COMMAND}, key


def test_key_that_cannot_be_created_is_silent(case):
    # With no drivers, the registration makes the installation's only RegCreateKeyExA call.
    setup = f.installer(case, f.script())
    pfx = case.prefix()
    r = pfx.run(setup, scenario=f.to_folder_dialog() + f.accept_folder() + f.finish(), fault="RegCreateKeyExA:1")
    assert r.exit_code == 0, r.exit_code
    header, secs = f.sections(f.uninstall_lines(pfx))
    assert secs[1] == ["HKLM", f.UNINSTALL_KEY[len("HKLM\\"):]], secs
    assert pfx.registry().key(f.UNINSTALL_KEY) is None
