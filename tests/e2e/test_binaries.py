"""The shipped programs as files: 32-bit PE for Intel 80386, the installer carrying the
production uninstaller byte for byte, and no fault-injection hook in production builds."""
import harness as h
import pe

HOOK = b"ORV_FAULT"


def read(path):
    with open(path, "rb") as f:
        return f.read()


def test_pe32_i386(case):
    for name in ("install.exe", "uninstall.exe"):
        img = pe.load(case.need(h.shipped_file(name)))
        assert img.machine == pe.IMAGE_FILE_MACHINE_I386, "%s machine: got %#x" % (name, img.machine)
        assert img.magic == pe.PE32_MAGIC, "%s optional header magic: got %#x" % (name, img.magic)
        assert img.subsystem == 2, "%s subsystem: got %d, expected 2 (GUI)" % (name, img.subsystem)


def test_uninstall_resource_byte_for_byte(case):
    installer = pe.load(case.need(h.shipped_file("install.exe")))
    carried = installer.resource("FILES", "UNINSTALL")
    built = read(h.shipped_file("uninstall.exe"))
    assert carried == built, "UNINSTALL resource: %d bytes, uninstall.exe: %d bytes, first difference at %s" % (
        len(carried), len(built),
        next((i for i, (a, b) in enumerate(zip(carried, built)) if a != b), min(len(carried), len(built))))
    assert carried != read(h.shipped_file("uninstall_ft.exe")), "the installer carries the fault-injection build"
    names = sorted(n for (t, n, _) in installer.resources() if t == "FILES")
    assert names == ["CHECKSUM", "DATA", "FILELIST", "LICENCE", "SCRIPT", "UNINSTALL"], names


def test_production_has_no_hook(case):
    # The fault table reads the variable by this name; a production build has no such text.
    assert HOOK in read(case.need(h.shipped_file("uninstall_ft.exe"))), "the test build lacks the hook"
    for name in ("uninstall.exe", "install_stub.exe", "install.exe"):
        assert HOOK not in read(case.need(h.shipped_file(name))), "%s carries the fault-injection hook" % name
