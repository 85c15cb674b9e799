"""Safety of the two programs as a user meets them: run from a folder full of other
downloads (no DLL is ever taken from the program's own folder), marked as needing
administrator rights, refusing a damaged payload, and replacing the shared uninstaller on
the Windows 95 family without ever leaving none.

Marker DLLs (tests/e2e/win/marker_dll.cpp) are copied under the names of system DLLs beside
the programs, and Wine is told to look in the program's folder first for each of those
names (WINEDLLOVERRIDES name=n,b), as Windows does for a DLL that is not one of its known
DLLs. A marker that is loaded leaves "<its path>.<process id>.loaded" holding the path of
the program that loaded it.

Wine's own user32 imports version.dll at load time (Windows' user32 does not), so under Wine
every program that imports user32 takes a version.dll planted beside it before its first
instruction, whatever the program does. The marker tests therefore leave version.dll markers
out of their count, and a test of its own shows that the installer's version functions come
from the system directory all the same: a planted version.dll whose functions all fail would
make an installed uninstaller of a higher version look versionless and be replaced.

Measured once against the installer as it was before these guards (version.dll imported at
load time, no search restriction), with the steps of the first test: 4 markers, uxtheme.dll
and version.dll each loaded by C:\\Downloads\\install.exe and by C:\\windows\\UnstOrv.exe;
and in the version test the uninstaller of a higher version was replaced. After them: no
marker but version.dll's, and the uninstaller is kept.
"""
import os
import re
import xml.etree.ElementTree as ET
import zlib

import harness as h
import integration_flow as f
import pe
from integration_flow import q

# Every DLL that the platform is known to load by bare name after start-up, and version.dll.
GUARDED = ("version", "uxtheme", "comctl32", "userenv", "setupapi", "apphelp", "propsys", "dwmapi", "cryptbase",
           "oleacc", "clbcatq", "shfolder")
DOWNLOADS = "C:\\Downloads"
UNINSTALLER = "C:\\windows\\UnstOrv.exe"
DAMAGED = "The installation program is damaged. Please download it again."
DEFAULT_CAPTION = "Error"  # Wine's caption of a message box without one
COMPLETE = "Uninstallation complete."
ALLOWED_IMPORTS = {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "shell32.dll", "ole32.dll"}


def planted_env():
    base = h.WINE_ENV["WINEDLLOVERRIDES"]
    return {"WINEDLLOVERRIDES": base + ";" + ",".join(GUARDED) + "=n,b"}


def plant_markers(case, pfx, folder):
    marker = case.need(h.win_file("marker.dll"))
    for name in GUARDED:
        pfx.copy_in(marker, folder + "\\" + name + ".dll")


def loaded_markers(pfx, folders):
    """(marker path, program that loaded it) for every marker that was loaded, but those of
    version.dll, which Wine's user32 loads at start-up (see above)."""
    out = []
    for folder in folders:
        for name in pfx.listdir(folder):
            if re.match(r"^\w+\.dll\.\d+\.loaded$", name, re.I) and not name.lower().startswith("version."):
                path = folder + "\\" + name
                out.append((path, pfx.read(path).decode("latin-1")))
    return out


def install_and_uninstall(pfx, setup, env=None, fault=None, uninstaller=None):
    """An installation with the default answers, then its uninstallation, by the uninstaller
    the installer deployed or by `uninstaller` put in its place."""
    r, command, u = h.install_then_uninstall(
        pfx, setup, f.to_folder_dialog() + f.accept_folder() + f.finish(), """
            expect caption=%s text="Are you sure that you want to uninstall Lumivane 1.0.2?"
            press 1
            expect caption="Lumivane" text=%s
            press 1
            end
        """ % (q(f.COMPANY), q(COMPLETE)), key=f.UNINSTALL_KEY, uninstaller=uninstaller, env=env, fault=fault)
    assert r.exit_code == 0, "install: exit %r" % r.exit_code
    assert command and command.startswith(UNINSTALLER + " "), "UninstallString: %r" % command
    assert u.exit_code == 0, "uninstall: exit %r" % u.exit_code
    assert not pfx.exists(f.INSTALL_DIR), "the installation is still there"


# --- No DLL from the program's folder ----------------------------------------------------------

@h.timeout(1500)
def test_no_dll_is_loaded_from_the_programs_folder(case):
    setup = case.need(h.win_file("install.exe"))
    pfx = case.prefix()
    pfx.copy_in(setup, DOWNLOADS + "\\install.exe")
    plant_markers(case, pfx, DOWNLOADS)
    # The uninstaller runs from the Windows directory, where the installation puts it.
    plant_markers(case, pfx, pfx.windir)
    install_and_uninstall(pfx, DOWNLOADS + "\\install.exe", env=planted_env())
    pfx.flush()
    found = loaded_markers(pfx, [DOWNLOADS, pfx.windir])
    assert not found, "markers loaded: %r" % found


@h.timeout(1500)
def test_no_dll_is_loaded_from_the_programs_folder_without_search_restriction(case):
    # The first two run-time look-ups are those of SetDefaultDllDirectories and
    # SetDllDirectoryA: failing them both takes the way of the oldest systems, where only
    # the loading by full path keeps the planted copies out.
    setup = h.example_product(case).build()
    pfx = case.prefix()
    pfx.copy_in(setup, DOWNLOADS + "\\install.exe")
    plant_markers(case, pfx, DOWNLOADS)
    plant_markers(case, pfx, pfx.windir)
    install_and_uninstall(pfx, DOWNLOADS + "\\install.exe", env=planted_env(),
                          fault="GetProcAddress:1,GetProcAddress:2")
    pfx.flush()
    found = loaded_markers(pfx, [DOWNLOADS, pfx.windir])
    assert not found, "markers loaded: %r" % found


def test_version_functions_come_from_the_system_directory(case):
    setup = case.need(h.win_file("install.exe"))
    pfx = case.prefix()
    pfx.copy_in(setup, DOWNLOADS + "\\install.exe")
    pfx.copy_in(case.need(h.win_file("marker.dll")), DOWNLOADS + "\\version.dll")
    # An installed uninstaller of a higher version (the installer itself: 1.0.0.4, above the
    # example's 1.0.0.3) stays only when its version can be read.
    pfx.copy_in(setup, UNINSTALLER)
    before = pfx.read(UNINSTALLER)
    r = pfx.run(DOWNLOADS + "\\install.exe", env={"WINEDLLOVERRIDES": h.WINE_ENV["WINEDLLOVERRIDES"] + ";version=n,b"},
                scenario="""
        expect caption=%s text="Are you sure you want to install Lumivane 1.0.2?"
        press 1
        expect caption="Software Licence Agreement"
        press 2
        expect caption="Lumivane" text="Installation cancelled"
        press 1
        end
    """ % q(f.COMPANY))
    assert r.exit_code == 0, r.exit_code
    assert pfx.read(UNINSTALLER) == before, "the uninstaller of a higher version was replaced"


def test_marker_dll_is_loaded_where_nothing_guards_against_it(case):
    # The check of the marker tests sees a planted DLL when one is loaded: a program that
    # loads uxtheme.dll by bare name (tests/e2e/win/dllprobe_prog.cpp) takes the marker.
    probe = case.need(h.win_file("dllprobe.exe"))
    pfx = case.prefix()
    pfx.copy_in(probe, DOWNLOADS + "\\dllprobe.exe")
    plant_markers(case, pfx, DOWNLOADS)
    r = pfx.run(DOWNLOADS + "\\dllprobe.exe", args=["uxtheme.dll"], env=planted_env(), check=False)
    assert r.exit_code == 0, "dllprobe: exit %r\n%s" % (r.exit_code, r.log_text())
    pfx.flush()
    found = loaded_markers(pfx, [DOWNLOADS])
    assert len(found) == 1 and "\\uxtheme.dll." in found[0][0].lower(), found


def test_imports_only_dlls_from_the_system_directory(case):
    for name in ("install.exe", "uninstall.exe", "install_stub.exe"):
        img = pe.load(case.need(h.shipped_file(name)))
        names = {n.lower() for n in img.imports()}
        assert names, "%s imports nothing" % name
        assert names <= ALLOWED_IMPORTS, "%s imports %r" % (name, sorted(names - ALLOWED_IMPORTS))
        assert img.delay_imports() == [], "%s delay-loads %r" % (name, img.delay_imports())


# --- Relocations ----------------------------------------------------------------------------------

def test_programs_moved_to_another_base_install_and_uninstall(case):
    # Today's systems load the programs at a random base and apply their relocations; Wine
    # loads an .exe at its preferred base. So the relocations are applied here, to another
    # base (where nothing else lies), and both programs run a whole installation there: a
    # fix-up that is missing leaves an address in the unmapped original place and crashes.
    moved = {}
    for name in ("install.exe", "uninstall.exe"):
        img = pe.load(case.need(h.shipped_file(name)))
        moved[name] = os.path.join(case.dir, "moved-" + name)
        with open(moved[name], "wb") as out:
            out.write(img.rebased(0x10000000))
    install_and_uninstall(case.prefix(), moved["install.exe"], uninstaller=moved["uninstall.exe"])


# --- Manifests -----------------------------------------------------------------------------------

ASM_V1 = "{urn:schemas-microsoft-com:asm.v1}"
ASM_V3 = "{urn:schemas-microsoft-com:asm.v3}"
WINDOWS_SETTINGS = "{http://schemas.microsoft.com/SMI/2005/WindowsSettings}"


def test_manifest_asks_for_administrator_system_dpi_and_common_controls_6(case):
    for name in ("install.exe", "uninstall.exe", "install_stub.exe"):
        img = pe.load(case.need(h.shipped_file(name)))
        manifests = {k: v for k, v in img.resources().items() if k[0] == 24}
        assert [k[1] for k in manifests] == [1], "%s manifests: %r" % (name, list(manifests))
        text = list(manifests.values())[0]
        root = ET.fromstring(text)  # raises on XML that is not well-formed
        assert root.tag == ASM_V1 + "assembly", "%s root element %r" % (name, root.tag)
        levels = [e.get("level") for e in root.iter() if e.tag.endswith("}requestedExecutionLevel")]
        assert levels == ["requireAdministrator"], "%s execution levels %r" % (name, levels)
        # System-aware ("true"), not per monitor: the dialogs are laid out once, at start-up.
        dpi = [e.text for e in root.iter(WINDOWS_SETTINGS + "dpiAware")]
        assert dpi == ["true"], "%s dpiAware %r" % (name, dpi)
        wanted = [(e.get("name"), e.get("version"), e.get("publicKeyToken"))
                  for d in root.iter(ASM_V1 + "dependentAssembly") for e in d.iter(ASM_V1 + "assemblyIdentity")]
        assert wanted == [("Microsoft.Windows.Common-Controls", "6.0.0.0", "6595b64144ccf1df")], \
            "%s dependencies %r" % (name, wanted)
        # A compatibility section would change what GetVersionExA reports.
        tags = {e.tag.split("}")[-1] for e in root.iter()}
        assert not tags & {"compatibility", "supportedOS", "maxversiontested"}, "%s manifest holds %r" % (
            name, sorted(tags))
    # The installer as built carries the manifest of the installer, the uninstaller its own.
    installer = pe.load(h.shipped_file("install.exe"))
    carried = pe.Pe(installer.resource("FILES", "UNINSTALL"))
    assert b"Orv.Uninstall" in carried.resource(24, 1), "the carried uninstaller's manifest"
    assert b"Orv.Install\"" in installer.resource(24, 1), "the installer's manifest"


# --- Payload checksum ----------------------------------------------------------------------------

def checksum_of(filelist, data):
    return b"%08X" % zlib.crc32(filelist + data)


def packed(case):
    product = case.product(script=f.script(), licence=f.LICENCE, payload=f.DEFAULT_PAYLOAD)
    out = product.pack("checked")
    filelist = open(out + "/FILELIST", "rb").read()
    data = open(out + "/DATA", "rb").read()
    return filelist, data


def damaged_run(case, resources, version="default"):
    setup = case.product(script=f.script(), licence=f.LICENCE, resources=resources).build()
    pfx = case.prefix(version)
    before = pfx.snapshot()
    r = pfx.run(setup, scenario="expect caption=%s text=%s\npress 1\nend\n" % (q(DEFAULT_CAPTION), q(DAMAGED)))
    assert r.exit_code == 111, "exit %r, expected 111" % r.exit_code
    # The box is the only window: no setup window, no question.
    captions = [w.get("caption") for w in r.windows]
    assert all(c == DEFAULT_CAPTION for c in captions), captions
    left = h.leftovers(before, pfx.snapshot())
    assert not left, "written: %r" % left


def test_one_bit_flipped_in_data_is_refused(case):
    filelist, data = packed(case)
    flipped = bytearray(data)
    flipped[len(data) // 2] ^= 0x10
    damaged_run(case, {"FILELIST": filelist, "DATA": bytes(flipped), "CHECKSUM": checksum_of(filelist, data)})


def test_one_bit_flipped_in_file_list_is_refused_on_windows_95(case):
    filelist, data = packed(case)
    flipped = bytearray(filelist)
    flipped[0] ^= 0x01
    damaged_run(case, {"FILELIST": bytes(flipped), "DATA": data, "CHECKSUM": checksum_of(filelist, data)},
                version="win95")


def test_malformed_checksum_is_refused(case):
    # Lower-case digits, a line end after them, and one digit too few: each is not the exact
    # form, which is taken as damage as well.
    filelist, data = packed(case)
    right = checksum_of(filelist, data)
    for text in (right.lower() if right.lower() != right else b"0000000g", right + b"\r\n", right[:7]):
        damaged_run(case, {"FILELIST": filelist, "DATA": data, "CHECKSUM": text})


def test_correct_checksum_installs(case):
    filelist, data = packed(case)
    setup = case.product(script=f.script(), licence=f.LICENCE,
                         resources={"FILELIST": filelist, "DATA": data,
                                    "CHECKSUM": checksum_of(filelist, data)}).build()
    pfx = case.prefix()
    r = pfx.run(setup, scenario=f.to_folder_dialog() + f.accept_folder() + f.finish())
    assert r.exit_code == 0, r.exit_code
    for name, content in f.DEFAULT_PAYLOAD.items():
        assert pfx.read(f.INSTALL_DIR + "\\" + name) == content, name


def test_example_installer_carries_its_checksum(case):
    img = pe.load(case.need(h.shipped_file("install.exe")))
    expected = checksum_of(img.resource("FILES", "FILELIST"), img.resource("FILES", "DATA"))
    assert img.resource("FILES", "CHECKSUM") == expected, (img.resource("FILES", "CHECKSUM"), expected)


# --- The uninstaller replaced on the Windows 95 family -------------------------------------------

def deploy_run(case, fault=None, old=True):
    """An installation on Windows 95 up to the licence, declined; returns the prefix, the
    old uninstaller's bytes (or None) and the Windows directory's listing before."""
    setup = f.installer(case, f.script())
    pfx = case.prefix("win95")
    before = None
    if old:
        pfx.copy_in(h.win_file("uninstall.exe"), UNINSTALLER)
        before = pfx.read(UNINSTALLER)
    listing = pfx.listdir(pfx.windir)
    confirm = "expect caption=%s text=%s\npress 1\n" % (q(f.COMPANY), q("Are you sure you want to install Lumivane 1.0.2?"))
    if fault:
        steps = confirm + f.internal_error(4) + "end\n"
    else:
        steps = confirm + 'expect caption="Software Licence Agreement"\npress 2\n' + \
            f.warning("Installation cancelled") + "end\n"
    r = pfx.run(setup, scenario=steps, fault=fault)
    assert r.exit_code == 0, r.exit_code
    return pfx, before, listing


def carried():
    return open(h.win_file("uninstall_ft.exe"), "rb").read()


def test_win95_old_uninstaller_replaced_by_renames(case):
    pfx, before, listing = deploy_run(case)
    assert pfx.read(UNINSTALLER) == carried(), "the new copy is not in place"
    assert pfx.listdir(pfx.windir) == listing, set(pfx.listdir(pfx.windir)) ^ set(listing)


def test_win95_failures_keep_the_old_uninstaller(case):
    # MoveFileA 1: the old copy renamed aside; 2: the new one renamed into place (the old
    # one is then put back with the third).
    for fault in ("MoveFileA:1", "MoveFileA:2"):
        pfx, before, listing = deploy_run(case, fault=fault)
        assert pfx.read(UNINSTALLER) == before, "%s: the old copy was not kept" % fault
        assert pfx.listdir(pfx.windir) == listing, (fault, set(pfx.listdir(pfx.windir)) ^ set(listing))
        pfx.stop()


def test_win95_first_uninstaller_that_cannot_be_put_in_place(case):
    pfx, _, listing = deploy_run(case, fault="MoveFileA:1", old=False)
    assert not pfx.exists(UNINSTALLER)
    assert pfx.listdir(pfx.windir) == listing, set(pfx.listdir(pfx.windir)) ^ set(listing)
