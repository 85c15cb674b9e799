"""The program folder dialog, the folder, the shortcuts and the end of the file section."""
import shutil

import harness as h
import integration_flow as f
from integration_flow import q

STATUS_BACKSLASH = "Folder name cannot contain \\ character"


def clear_programs_folder(pfx, keep_files=True):
    """Removes every subfolder of the Programs folder, so that the list is known."""
    programs = pfx.programs_folder()
    for name in pfx.listdir(programs):
        path = programs + "\\" + name
        if pfx.isdir(path):
            shutil.rmtree(pfx.host(path))
    return programs


def read_link(case, pfx, link):
    out = "C:\\linktarget.txt"
    r = pfx.run(h.win_file("lnkread.exe"), args=[out, link], check=False, name="lnkread")
    assert r.exit_code == 0, "lnkread %s: exit %r\n%s" % (link, r.exit_code, r.log_text())
    return pfx.read(out).decode("cp1252")


def test_suggested_name_selected_ignoring_case(case):
    setup = f.installer(case, f.script())
    pfx = case.prefix()
    programs = clear_programs_folder(pfx)
    for name in ("Alpha", "lumivane", "zeta"):
        pfx.write(programs + "\\" + name + "\\keep.txt", b"x")
    pfx.write(programs + "\\not a folder.txt", b"file")
    r = pfx.run(setup, scenario=f.to_folder_dialog() + """
        expect caption="Select Program Folder"
        control 1005 text="Lumivane"
        control 1006 items="Alpha|lumivane|zeta" selected=1
        control 1007 text=""
        press 1
    """ + f.finish())
    assert r.exit_code == 0, r.exit_code
    # The existing folder (same name, other case) is used and the links go into it.
    assert pfx.exists(programs + "\\lumivane\\Lumivane documentation.lnk")
    assert pfx.exists(programs + "\\lumivane\\Writing HTML CD-ROMs article.lnk")
    assert sorted(n.lower() for n in pfx.listdir(programs) if pfx.isdir(programs + "\\" + n)) == \
        ["alpha", "lumivane", "zeta"], pfx.listdir(programs)


def test_empty_programs_folder_gives_empty_list(case):
    setup = f.installer(case, f.script())
    pfx = case.prefix()
    programs = clear_programs_folder(pfx)
    r = pfx.run(setup, scenario=f.to_folder_dialog() + """
        expect caption="Select Program Folder"
        control 1005 text="Lumivane"
        control 1006 items=""
        press 1
    """ + f.finish())
    assert r.exit_code == 0, r.exit_code
    assert pfx.isdir(programs + "\\Lumivane")


def test_backslash_and_empty_name_refused(case):
    setup = f.installer(case, f.script())
    pfx = case.prefix()
    programs = clear_programs_folder(pfx)
    r = pfx.run(setup, scenario=f.to_folder_dialog() + """
        expect caption="Select Program Folder"
        type 1005 "Orv\\\\Lumivane"
        control 1007 text=%s
        press 1
        expect caption="Lumivane" text=%s
        control 1 text="OK"
        press 1
        focus caption="Select Program Folder"
        type 1005 "Lumi"
        control 1007 text=""
        type 1005 ""
        press 1
        expect caption="Lumivane" text="Folder name cannot be empty"
        press 1
        focus caption="Select Program Folder"
        type 1005 "Lumivane Tools"
        control 1007 text=""
        press 1
        expect caption="Installation complete"
        untick 1009
        press 1
        end
    """ % (q(STATUS_BACKSLASH), q(STATUS_BACKSLASH)))
    assert r.exit_code == 0, r.exit_code
    assert pfx.isdir(programs + "\\Lumivane Tools")
    assert not pfx.exists(programs + "\\Orv"), pfx.listdir(programs)
    assert not pfx.exists(programs + "\\Lumivane"), pfx.listdir(programs)
    lines = f.uninstall_lines(pfx)
    assert programs + "\\Lumivane Tools" in lines, lines


def test_dot_names_and_blanks_refused_as_empty(case):
    # ".", ".." and blanks name the Programs folder or its parent; the platform drops
    # trailing full stops and blanks, so "..." and ". ." do the same.
    setup = f.installer(case, f.script())
    pfx = case.prefix()
    programs = clear_programs_folder(pfx)
    steps = f.to_folder_dialog() + 'expect caption="Select Program Folder"\n'
    for name in (".", "..", "   ", "...", ". ."):
        steps += """
        focus caption="Select Program Folder"
        type 1005 %s
        press 1
        expect caption="Lumivane" text="Folder name cannot be empty"
        press 1
        """ % q(name)
    steps += """
        focus caption="Select Program Folder"
        type 1005 ".Lumivane"
        press 1
    """ + f.finish()
    r = pfx.run(setup, scenario=steps)
    assert r.exit_code == 0, r.exit_code
    assert pfx.isdir(programs + "\\.Lumivane")
    lines = f.uninstall_lines(pfx)
    assert programs + "\\.Lumivane" in lines, lines
    assert programs not in lines, lines
    assert programs.rsplit("\\", 1)[0] not in lines, lines


def test_existing_folder_chosen(case):
    setup = f.installer(case, f.script())
    pfx = case.prefix()
    programs = clear_programs_folder(pfx)
    pfx.write(programs + "\\Existing Stuff\\keep.txt", b"x")
    r = pfx.run(setup, scenario=f.to_folder_dialog() + """
        expect caption="Select Program Folder"
        pick 1006 "Existing Stuff"
        control 1005 text="Existing Stuff"
        control 1007 text=""
        press 1
    """ + f.finish())
    assert r.exit_code == 0, r.exit_code
    folder = programs + "\\Existing Stuff"
    assert not pfx.exists(programs + "\\Lumivane"), pfx.listdir(programs)
    assert sorted(pfx.listdir(folder)) == ["Lumivane documentation.lnk", "Writing HTML CD-ROMs article.lnk",
                                           "keep.txt"], pfx.listdir(folder)
    header, secs = f.sections(f.uninstall_lines(pfx))
    files = secs[0]
    # Links in script order, then the adopted folder first in the directory list.
    i = files.index(folder + "\\Lumivane documentation.lnk")
    assert files[i + 1] == folder + "\\Writing HTML CD-ROMs article.lnk", files
    assert files[i + 2] == folder, files


def test_cancel_rolls_back(case):
    setup = f.installer(case, f.script())
    pfx = case.prefix()
    programs = clear_programs_folder(pfx)
    r = pfx.run(setup, scenario=f.to_folder_dialog() + """
        expect caption="Select Program Folder"
        press 2
    """ + f.warning("Installation cancelled") + "end\n")
    assert r.exit_code == 0, r.exit_code  # the window closes normally after a failure too
    assert not pfx.exists("C:\\Program Files\\Orv"), pfx.tree("C:\\Program Files")
    assert pfx.listdir(programs) == [], pfx.listdir(programs)


def test_missing_folder_name_is_200_then_cancelled(case):
    setup = f.installer(case, f.script(folder=None))
    pfx = case.prefix()
    clear_programs_folder(pfx)
    r = pfx.run(setup, scenario=f.to_folder_dialog() + f.internal_error(200) +
                f.warning("Installation cancelled") + "end\n")
    assert r.exit_code == 0, r.exit_code  # the window closes normally after a failure too
    assert not pfx.exists("C:\\Program Files\\Orv"), pfx.tree("C:\\Program Files")


def test_item_without_comma_is_25_after_earlier_shortcuts(case):
    items = ["index.html,Lumivane documentation", "no comma here", "cdroms.html,Never made"]
    setup = f.installer(case, f.script(items=items))
    pfx = case.prefix()
    programs = clear_programs_folder(pfx)
    link = programs + "\\Lumivane\\Lumivane documentation.lnk"
    r = pfx.run(setup, scenario=f.to_folder_dialog() + f.accept_folder() + """
        expect caption="Lumivane" text="Orv Install internal error 25"
        wait-file %s
        press 1
        end
    """ % q(link))
    assert r.exit_code == 0, r.exit_code  # the window closes normally after a failure too
    # The link existed while the error was shown; it was recorded, so the roll-back took it
    # away with its folder and the installation directory.
    assert not pfx.exists(link)
    assert not pfx.exists(programs + "\\Lumivane"), pfx.listdir(programs)
    assert not pfx.exists("C:\\Program Files\\Orv"), pfx.tree("C:\\Program Files")


def test_links_point_at_installed_targets(case):
    items = ["index.html,Lumivane documentation", "docs\\cdroms.html,Writing, HTML, CD-ROMs"]
    payload = {"index.html": b"<html/>", "docs\\cdroms.html": b"<html/>"}
    setup = f.installer(case, f.script(items=items), payload=payload)
    pfx = case.prefix()
    programs = clear_programs_folder(pfx)
    r = pfx.run(setup, scenario=f.to_folder_dialog() + f.accept_folder() + """
    """ + f.finish())
    assert r.exit_code == 0, r.exit_code
    folder = programs + "\\Lumivane"
    assert sorted(pfx.listdir(folder)) == ["Lumivane documentation.lnk", "Writing, HTML, CD-ROMs.lnk"], \
        pfx.listdir(folder)
    got = read_link(case, pfx, folder + "\\Lumivane documentation.lnk")
    assert got.lower() == (f.INSTALL_DIR + "\\index.html").lower(), got
    got = read_link(case, pfx, folder + "\\Writing, HTML, CD-ROMs.lnk")
    assert got.lower() == (f.INSTALL_DIR + "\\docs\\cdroms.html").lower(), got
    header, secs = f.sections(f.uninstall_lines(pfx))
    files = secs[0]
    # Links in script order, then the directory list: the program folder, the subdirectory
    # made for a file, the installation directory's levels innermost first.
    assert files[-6:] == [folder + "\\Lumivane documentation.lnk", folder + "\\Writing, HTML, CD-ROMs.lnk", folder,
                          f.INSTALL_DIR + "\\docs", f.INSTALL_DIR, "C:\\Program Files\\Orv"], files


def test_only_end_line_makes_folder_without_links(case):
    setup = f.installer(case, f.script(items=[]))
    pfx = case.prefix()
    programs = clear_programs_folder(pfx)
    r = pfx.run(setup, scenario=f.to_folder_dialog() + f.accept_folder() + """
    """ + f.finish())
    assert r.exit_code == 0, r.exit_code
    assert pfx.listdir(programs + "\\Lumivane") == []
    header, secs = f.sections(f.uninstall_lines(pfx))
    assert programs + "\\Lumivane" in secs[0], secs[0]


def test_over_long_shortcut_name_is_26(case):
    items = ["index.html," + "L" * 250]
    setup = f.installer(case, f.script(items=items))
    pfx = case.prefix()
    programs = clear_programs_folder(pfx)
    r = pfx.run(setup, scenario=f.to_folder_dialog() + f.accept_folder() + f.internal_error(26) + "end\n")
    assert r.exit_code == 0, r.exit_code  # the window closes normally after a failure too
    assert not pfx.exists(programs + "\\Lumivane"), pfx.listdir(programs)
