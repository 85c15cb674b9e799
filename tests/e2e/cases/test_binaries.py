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
DYNAMIC_BASE, NX_COMPAT = 0x40, 0x100
IMAGE_REL_BASED_ABSOLUTE, IMAGE_REL_BASED_HIGHLOW = 0, 3
# The shipped programs and an installer that `orv build` wrote (the example product's).
PROGRAMS = ("install_stub.exe", "install.exe", "uninstall.exe")


def section_flags(img, rva):
    """The characteristics of the section that holds rva, or None."""
    first = img.pe_offset + 24 + img.optional_size
    for i in range(img.section_count):
        _, vsize, va, raw_size, _ = struct.unpack_from("<8sIIII", img.data, first + 40 * i)
        if va <= rva < va + max(vsize, raw_size):
            return struct.unpack_from("<I", img.data, first + 40 * i + 36)[0]
    return None


def test_layout_that_every_windows_loads(case):
    # Section alignment 4096 and file alignment 512, the sections ascending in memory without
    # gaps and one after the other in the file, the entry point in executable memory and the
    # import tables in writable memory: the layout that the Windows 95 family and NT 4 load.
    # On top of that the hardening of today's systems: a random base (relocations kept,
    # DYNAMIC_BASE), no-execute data (NX_COMPAT), no section both writable and executable,
    # code, read-only data, relocations and resources read-only.
    for name in PROGRAMS:
        img = pe.load(case.need(h.shipped_file(name)))
        opt = img.pe_offset + 24
        (entry,) = struct.unpack_from("<I", img.data, opt + 16)
        section_alignment, file_alignment = struct.unpack_from("<II", img.data, opt + 32)
        (headers,) = struct.unpack_from("<I", img.data, opt + 60)
        (dll_characteristics,) = struct.unpack_from("<H", img.data, opt + 70)
        assert (section_alignment, file_alignment) == (4096, 512), "%s alignments: got %d, %d, expected 4096, 512" % (
            name, section_alignment, file_alignment)
        assert dll_characteristics & (DYNAMIC_BASE | NX_COMPAT) == DYNAMIC_BASE | NX_COMPAT, \
            "%s DllCharacteristics %#x" % (name, dll_characteristics)
        assert not img.characteristics & 1, "%s: relocations stripped" % name
        va, raw = -(-headers // 4096) * 4096, headers
        for sname, sva, size, raw_ptr, raw_size in img.sections:
            assert sva == va, "%s section %s at RVA %#x, expected %#x" % (name, sname, sva, va)
            va = -(-(sva + size) // 4096) * 4096
            assert raw_size % 512 == 0 and (raw_size == 0 or raw_ptr == raw), \
                "%s section %s: file offset %#x, size %#x, expected at %#x" % (name, sname, raw_ptr, raw_size, raw)
            raw += raw_size
            flags = section_flags(img, sva)
            assert not (flags & IMAGE_SCN_MEM_WRITE and flags & IMAGE_SCN_MEM_EXECUTE), \
                "%s section %s writable and executable: %#x" % (name, sname, flags)
        assert raw == len(img.data), "%s: %d bytes after the last section" % (name, len(img.data) - raw)
        flags = section_flags(img, entry)
        assert flags is not None and flags & IMAGE_SCN_MEM_EXECUTE, "%s entry point %#x: section flags %s" % (
            name, entry, flags if flags is None else "%#x" % flags)
        iat_rva, iat_size = img.directories[12]
        imports_rva, imports_size = img.directories[1]
        assert iat_size > 0 and imports_size > 0, "%s: import directory %#x, address table %#x" % (
            name, imports_size, iat_size)
        for what, rva in (("import address table", iat_rva), ("import directory", imports_rva)):
            flags = section_flags(img, rva)
            assert flags is not None and flags & IMAGE_SCN_MEM_WRITE, "%s %s %#x: section flags %s" % (
                name, what, rva, flags if flags is None else "%#x" % flags)
        for what, index in (("resources", 2), ("base relocations", 5)):
            rva, size = img.directories[index]
            assert size, "%s has no %s" % (name, what)
            flags = section_flags(img, rva)
            assert not flags & IMAGE_SCN_MEM_WRITE, "%s %s writable: %#x" % (name, what, flags)
        img.offset(imports_rva)  # raises when the import directory is not in the file
        dlls = sorted(dll.lower() for dll in img.imports())
        assert dlls, "%s: no imports read back" % name


def test_relocations_point_into_the_image(case):
    # Every fix-up is a 32-bit address inside the image's own initialised sections, and the
    # installer that `orv build` wrote keeps the stub's relocations byte for byte (a relocated
    # image whose fix-ups are wrong crashes at once).
    blocks = {}
    for name in PROGRAMS:
        img = pe.load(case.need(h.shipped_file(name)))
        (base,) = struct.unpack_from("<I", img.data, img.pe_offset + 24 + 28)
        (size_of_image,) = struct.unpack_from("<I", img.data, img.pe_offset + 24 + 56)
        blocks[name] = img.base_relocations()
        fixups = 0
        for page, entries in blocks[name]:
            for kind, offset in entries:
                assert kind in (IMAGE_REL_BASED_ABSOLUTE, IMAGE_REL_BASED_HIGHLOW), "%s: relocation type %d" % (
                    name, kind)
                if kind == IMAGE_REL_BASED_ABSOLUTE:
                    continue
                at = img.offset(page + offset)
                (target,) = struct.unpack_from("<I", img.data, at)
                assert base <= target < base + size_of_image, "%s: fix-up at %#x holds %#x, outside the image" % (
                    name, page + offset, target)
                fixups += 1
        assert fixups > 0, "%s: no fix-ups" % name
    assert blocks["install.exe"] == blocks["install_stub.exe"], "orv build changed the relocations"


# Every function that the shipped programs import at load time, with the first Windows of
# each family that the platform documentation gives for it (its reference pages of the
# Windows 95 and NT 4 era: "Windows 95" is "Requires Windows 95 or later"). Each entry was
# checked once; a function that is not here fails the test until someone has checked it.
# "95 stub" marks a function of NT that the Windows 95 family exports as a stub failing with
# ERROR_CALL_NOT_IMPLEMENTED: it loads there, and the programs call it only on NT.
WIN95, NT31, NT35, STUB = "Windows 95, NT 3.1", "Windows 95, NT 3.1", "Windows 95, NT 3.5", "95 stub, NT 3.1"
REVIEWED_IMPORTS = {
    "kernel32.dll": {
        "CloseHandle": WIN95, "CompareFileTime": WIN95, "CopyFileA": WIN95, "CreateDirectoryA": WIN95,
        "CreateFileA": WIN95, "CreateThread": WIN95, "DeleteFileA": WIN95, "ExitProcess": WIN95,
        "FindClose": WIN95, "FindFirstFileA": WIN95, "FindNextFileA": WIN95, "FindResourceA": WIN95,
        "FormatMessageA": WIN95, "GetCommandLineA": WIN95, "GetCurrentProcess": WIN95, "GetCurrentThread": WIN95,
        "GetFileAttributesA": WIN95, "GetFileSize": WIN95, "GetFileTime": WIN95, "GetLastError": WIN95,
        "GetModuleHandleA": WIN95, "GetProcAddress": WIN95, "GetProcessHeap": WIN95,
        "GetSystemDirectoryA": WIN95, "GetTempFileNameA": WIN95, "GetTempPathA": WIN95,
        "GetVersionExA": WIN95, "GetWindowsDirectoryA": WIN95, "HeapAlloc": WIN95, "HeapFree": WIN95,
        "HeapReAlloc": WIN95, "LoadLibraryA": WIN95, "LoadResource": WIN95, "LocalFree": WIN95,
        "LockResource": WIN95, "MoveFileA": WIN95, "MultiByteToWideChar": WIN95, "ReadFile": WIN95,
        "RemoveDirectoryA": WIN95, "RtlUnwind": WIN95, "SetEndOfFile": WIN95, "SetErrorMode": WIN95,
        "SetFileAttributesA": WIN95, "SetFilePointer": WIN95, "SetFileTime": WIN95, "SetLastError": WIN95,
        "SetThreadPriority": WIN95, "SetUnhandledExceptionFilter": WIN95, "SizeofResource": WIN95,
        "Sleep": WIN95, "UnhandledExceptionFilter": WIN95, "WriteFile": WIN95, "lstrlenA": WIN95,
        "GetCurrentProcessId": WIN95,
        # Exported by Windows 95 but not implemented there; the programs take the Windows 95
        # family's own way (wininit.ini renames) on it.
        "MoveFileExA": STUB,
    },
    "user32.dll": {
        "BeginPaint": WIN95, "CreateWindowExA": WIN95, "DefWindowProcA": WIN95, "DialogBoxParamA": WIN95,
        "DispatchMessageA": WIN95, "EnableWindow": WIN95, "EndDialog": WIN95, "EndPaint": WIN95,
        "ExitWindowsEx": WIN95, "GetClientRect": WIN95, "GetDC": WIN95, "GetDlgItem": WIN95,
        "GetDlgItemTextA": WIN95, "GetMessageA": WIN95, "IsDlgButtonChecked": WIN95, "KillTimer": WIN95,
        "LoadCursorA": WIN95, "LoadIconA": WIN95, "MessageBeep": WIN95, "MessageBoxA": WIN95,
        "PostMessageA": WIN95, "PostQuitMessage": WIN95, "RegisterClassExA": NT35, "ReleaseDC": WIN95,
        "SendMessageA": WIN95, "SetDlgItemTextA": WIN95, "SetTimer": WIN95, "SetWindowTextA": WIN95,
        "ShowWindow": WIN95, "TranslateMessage": WIN95, "UpdateWindow": WIN95, "wsprintfA": WIN95,
    },
    "gdi32.dll": {
        "CreateFontA": WIN95, "CreatePen": WIN95, "CreateSolidBrush": WIN95, "DeleteObject": WIN95,
        "GetTextExtentPoint32A": WIN95, "LineTo": WIN95, "MoveToEx": WIN95, "SelectObject": WIN95,
        "SetBkColor": WIN95, "SetBkMode": WIN95, "SetTextColor": WIN95, "TextOutA": WIN95,
    },
    "advapi32.dll": {
        "RegCloseKey": WIN95, "RegCreateKeyExA": WIN95, "RegDeleteKeyA": WIN95, "RegOpenKeyExA": WIN95,
        "RegQueryValueExA": WIN95, "RegSetValueExA": WIN95,
        # The service control manager: NT only; the driver step calls it only on NT.
        "CloseServiceHandle": STUB, "ControlService": STUB, "CreateServiceA": STUB, "DeleteService": STUB,
        "OpenSCManagerA": STUB, "OpenServiceA": STUB, "StartServiceA": STUB,
    },
    "shell32.dll": {"SHGetPathFromIDListA": WIN95, "SHGetSpecialFolderLocation": WIN95, "ShellExecuteA": WIN95},
    "ole32.dll": {"CoCreateInstance": WIN95, "CoInitialize": WIN95, "CoTaskMemFree": WIN95, "CoUninitialize": WIN95},
}


def test_imports_reviewed_for_windows_95(case):
    for name in PROGRAMS:
        img = pe.load(case.need(h.shipped_file(name)))
        imported = img.imported_functions()
        assert imported, "%s: no imports read back" % name
        unknown = sorted(dll for dll in imported if dll not in REVIEWED_IMPORTS)
        assert not unknown, "%s imports from %r (msvcrt.dll is not part of the first Windows 95)" % (name, unknown)
        unchecked = sorted("%s!%s" % (dll, fn) for dll, fns in imported.items() for fn in fns
                           if fn not in REVIEWED_IMPORTS[dll])
        assert not unchecked, "%s imports functions nobody has checked against Windows 95: %s" % (
            name, ", ".join(unchecked))


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
