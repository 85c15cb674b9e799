"""The shipped programs as files: 32-bit PE for Intel 80386, the installer carrying the
production uninstaller byte for byte, and no fault-injection hook in production builds."""
import struct

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


IMAGE_SCN_MEM_EXECUTE = 0x20000000
IMAGE_SCN_MEM_WRITE = 0x80000000


def section_flags(img, rva):
    """The characteristics of the section that holds rva, or None."""
    first = img.pe_offset + 24 + img.optional_size
    for i in range(img.section_count):
        _, vsize, va, raw_size, _ = struct.unpack_from("<8sIIII", img.data, first + 40 * i)
        if va <= rva < va + max(vsize, raw_size):
            return struct.unpack_from("<I", img.data, first + 40 * i + 36)[0]
    return None


def test_layout_that_every_windows_loads(case):
    # Section alignment 4096 and file alignment 512, sections where the headers say, the entry
    # point in executable memory and the import address table in writable memory: the layout
    # that the Windows 95 family and NT 4 load, however the sections are merged.
    for name in ("install_stub.exe", "install.exe", "uninstall.exe"):
        img = pe.load(case.need(h.shipped_file(name)))
        opt = img.pe_offset + 24
        (entry,) = struct.unpack_from("<I", img.data, opt + 16)
        section_alignment, file_alignment = struct.unpack_from("<II", img.data, opt + 32)
        (headers,) = struct.unpack_from("<I", img.data, opt + 60)
        assert (section_alignment, file_alignment) == (4096, 512), "%s alignments: got %d, %d, expected 4096, 512" % (
            name, section_alignment, file_alignment)
        for sname, va, _, raw_ptr, raw_size in img.sections:
            assert va % 4096 == 0, "%s section %s at RVA %#x" % (name, sname, va)
            assert raw_ptr % 512 == 0 and raw_size % 512 == 0, "%s section %s: file offset %#x, size %#x" % (
                name, sname, raw_ptr, raw_size)
            assert raw_size == 0 or raw_ptr >= headers, "%s section %s at %#x inside the headers (%#x bytes)" % (
                name, sname, raw_ptr, headers)
        flags = section_flags(img, entry)
        assert flags is not None and flags & IMAGE_SCN_MEM_EXECUTE, "%s entry point %#x: section flags %s" % (
            name, entry, flags if flags is None else "%#x" % flags)
        iat_rva, iat_size = img.directories[12]
        imports_rva, imports_size = img.directories[1]
        assert iat_size > 0 and imports_size > 0, "%s: import directory %#x, address table %#x" % (
            name, imports_size, iat_size)
        flags = section_flags(img, iat_rva)
        assert flags is not None and flags & IMAGE_SCN_MEM_WRITE, "%s import address table %#x: section flags %s" % (
            name, iat_rva, flags if flags is None else "%#x" % flags)
        img.offset(imports_rva)  # raises when the import directory is not in the file
        dlls = sorted(dll.lower() for dll in img.imports())
        assert dlls, "%s: no imports read back" % name


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
