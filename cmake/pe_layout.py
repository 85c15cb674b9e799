"""The layout rules of the shipped 32-bit programs, checked after each link.

    pe_layout.py [--seal] FILE...

--seal first clears the write flag of the .rsrc section (the linker keeps the resource
compiler's writable flag; the publisher's tool writes its resources read-only as well),
moves the PE headers up to a 64-byte DOS header where that saves 512 bytes of file, and
sets the image checksum.
Then every rule below is checked; each broken one is reported as FILE: error: ... and the
exit status is 1.

- hardening: the relocations kept (a base relocation directory, the "relocations stripped"
  flag clear) and the header flags for a random base (DYNAMIC_BASE) and no-execute memory
  (NX_COMPAT) set;
- no section both writable and executable; the entry point in an executable section; the
  import directory and the import address table in a writable section that is not
  executable (the Windows 95 family's loader writes the addresses there); the resources and
  the relocations read-only;
- what the Windows 95 family and NT 4 load: file alignment 512, section alignment 4096, the
  sections ascending in memory without gaps and in the file one after the other.
"""
import struct
import sys

SCN_EXECUTE = 0x20000000
SCN_READ = 0x40000000
SCN_WRITE = 0x80000000
DYNAMIC_BASE = 0x0040
NX_COMPAT = 0x0100
RELOCS_STRIPPED = 0x0001
HEADERS = 0x3C


def align(value, to):
    return (value + to - 1) // to * to


def parse(data):
    (pe_at,) = struct.unpack_from("<I", data, HEADERS)
    if data[:2] != b"MZ" or data[pe_at:pe_at + 4] != b"PE\0\0":
        raise ValueError("not a PE image")
    coff = pe_at + 4
    _, count, _, _, _, opt_size, characteristics = struct.unpack_from("<HHIIIHH", data, coff)
    opt = coff + 20
    (entry,) = struct.unpack_from("<I", data, opt + 16)
    section_alignment, file_alignment = struct.unpack_from("<II", data, opt + 32)
    (size_of_headers,) = struct.unpack_from("<I", data, opt + 60)
    (dll_characteristics,) = struct.unpack_from("<H", data, opt + 70)
    (dir_count,) = struct.unpack_from("<I", data, opt + 92)
    dirs = [struct.unpack_from("<II", data, opt + 96 + 8 * i) for i in range(dir_count)]
    table = opt + opt_size
    sections = []
    for i in range(count):
        at = table + 40 * i
        name, vsize, va, raw_size, raw_ptr = struct.unpack_from("<8sIIII", data, at)
        (flags,) = struct.unpack_from("<I", data, at + 36)
        sections.append({"name": name.rstrip(b"\0").decode("latin-1"), "vsize": vsize, "va": va,
                         "raw_size": raw_size, "raw_ptr": raw_ptr, "flags": flags, "flags_at": at + 36})
    return {"characteristics": characteristics, "entry": entry, "section_alignment": section_alignment,
            "file_alignment": file_alignment, "size_of_headers": size_of_headers,
            "dll_characteristics": dll_characteristics, "dirs": dirs, "sections": sections}


def holder(image, rva):
    for s in image["sections"]:
        if s["va"] <= rva < s["va"] + max(s["vsize"], s["raw_size"]):
            return s
    return None


def problems(data):
    """Every rule the image breaks, as sentences; empty when it keeps them all."""
    image = parse(data)
    out = []
    dirs = image["dirs"] + [(0, 0)] * 16
    if not image["dll_characteristics"] & DYNAMIC_BASE:
        out.append("DYNAMIC_BASE is not set (DllCharacteristics %#x)" % image["dll_characteristics"])
    if not image["dll_characteristics"] & NX_COMPAT:
        out.append("NX_COMPAT is not set (DllCharacteristics %#x)" % image["dll_characteristics"])
    if image["characteristics"] & RELOCS_STRIPPED or dirs[5][1] == 0:
        out.append("no base relocations")
    if (image["section_alignment"], image["file_alignment"]) != (4096, 512):
        out.append("alignments %d and %d, not 4096 and 512" % (image["section_alignment"],
                                                              image["file_alignment"]))
    va = align(image["size_of_headers"], 4096)
    raw = image["size_of_headers"]
    for s in image["sections"]:
        flags = s["flags"]
        if flags & SCN_WRITE and flags & SCN_EXECUTE:
            out.append("section %s is both writable and executable (%#x)" % (s["name"], flags))
        if s["va"] != va:
            out.append("section %s at RVA %#x, not at %#x where the one before ends" % (s["name"], s["va"], va))
        va = align(s["va"] + max(s["vsize"], s["raw_size"]), 4096)
        if s["raw_size"]:
            if s["raw_ptr"] != raw or s["raw_size"] % 512:
                out.append("section %s at file offset %#x (%#x bytes), not at %#x in whole 512-byte blocks" % (
                    s["name"], s["raw_ptr"], s["raw_size"], raw))
            raw = s["raw_ptr"] + s["raw_size"]
    entry = holder(image, image["entry"])
    if entry is None or not entry["flags"] & SCN_EXECUTE:
        out.append("the entry point %#x is not in an executable section" % image["entry"])
    for what, index in (("the import directory", 1), ("the import address table", 12)):
        s = holder(image, dirs[index][0]) if dirs[index][1] else None
        if s is None or not s["flags"] & SCN_WRITE or s["flags"] & SCN_EXECUTE:
            out.append("%s is not in a writable data section" % what)
    for what, index in (("the resources", 2), ("the base relocations", 5)):
        s = holder(image, dirs[index][0]) if dirs[index][1] else None
        if s is not None and s["flags"] & SCN_WRITE:
            out.append("%s are in a writable section (%s)" % (what, s["name"]))
    return out


DOS_HEADER = 0x40
# The DOS program: "push cs; pop ds; mov dx, 0Eh; mov ah, 9; int 21h; mov ax, 4C01h; int 21h"
# and its message at 0Eh, in the DOS header's reserved words from 20h up to e_lfanew.
DOS_PROGRAM = bytes.fromhex("0e1fba0e00b409cd21b8014ccd21") + b"Win32 only.\r\n$"


def checksum(data, field):
    total = 0
    for i in range(0, len(data) - 1, 2):
        if not field <= i < field + 4:
            total += data[i] | data[i + 1] << 8
            total = (total & 0xFFFF) + (total >> 16)
    if len(data) % 2:
        total += data[-1]
    total = (total & 0xFFFF) + (total >> 16)
    return (total & 0xFFFF) + len(data)


def compact_headers(data):
    """The image with its PE headers moved up to a 64-byte DOS header (the linker's DOS part
    is 128 bytes), when that brings the headers from 1,024 bytes down to 512: the sections
    then start 512 bytes earlier in the file, at the same addresses in memory. The DOS
    program that says the program needs Windows stays, inside the DOS header."""
    (pe_at,) = struct.unpack_from("<I", data, HEADERS)
    image = parse(data)
    opt = pe_at + 24
    (opt_size,) = struct.unpack_from("<H", data, pe_at + 20)
    end = opt + opt_size + 40 * len(image["sections"])
    size = image["size_of_headers"]
    if pe_at <= DOS_HEADER or align(end - pe_at + DOS_HEADER, 512) >= size:
        return data
    saved = size - align(end - pe_at + DOS_HEADER, 512)
    out = bytearray(data[:DOS_HEADER])
    struct.pack_into("<HHHH", out, 2, DOS_HEADER, 1, 0, 2)  # e_cblp, e_cp, e_crlc, e_cparhdr
    out[0x20:0x20 + len(DOS_PROGRAM)] = DOS_PROGRAM
    struct.pack_into("<I", out, HEADERS, DOS_HEADER)
    out += data[pe_at:end]
    out += bytes(size - saved - len(out))
    out += data[size:]
    shift = DOS_HEADER - pe_at
    struct.pack_into("<I", out, opt + shift + 60, size - saved)
    for s in image["sections"]:
        if s["raw_size"]:
            struct.pack_into("<I", out, s["flags_at"] + shift - 16, s["raw_ptr"] - saved)
    return out


def seal(path):
    with open(path, "rb") as f:
        data = bytearray(f.read())
    for s in parse(data)["sections"]:
        if s["name"] == ".rsrc":
            struct.pack_into("<I", data, s["flags_at"], s["flags"] & ~SCN_WRITE)
    data = compact_headers(data)
    (pe_at,) = struct.unpack_from("<I", data, HEADERS)
    struct.pack_into("<I", data, pe_at + 24 + 64, checksum(data, pe_at + 24 + 64))
    with open(path, "wb") as f:
        f.write(data)


def main(args):
    sealing = args[:1] == ["--seal"]
    failed = False
    for path in args[1:] if sealing else args:
        if sealing:
            seal(path)
        with open(path, "rb") as f:
            found = problems(f.read())
        for problem in found:
            print("%s: error: %s" % (path, problem), file=sys.stderr)
        failed = failed or bool(found)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
