#!/usr/bin/env python3
"""Hostile installers and stubs made byte by byte, kept as regression inputs.

  crafted.py make DIR    writes them into DIR/regress/HARNESS/ (and the small seeds into
                         DIR/seeds/HARNESS/)
  crafted.py check ORV   gives each kept one to orv (inspect, or build --stub) and
                         checks that it is refused with exit status 1 and its message
"""
import os
import struct
import subprocess
import sys
import tempfile
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))


def pe(rsrc, file_align=0x200, sect_align=0x1000, over_headers=False, rsrc_rva=0x1000):
    """A 32-bit PE image whose one section .rsrc holds rsrc at rsrc_rva; over_headers: the
    section's raw data start at offset 0 and the resource directory with them."""
    # Over the headers, the section table lies far in, beyond what the new directory holds.
    lfanew = 0x180 if over_headers else 0x40
    headers = 0x400 if over_headers else 0x200
    raw = (len(rsrc) + file_align - 1) // file_align * file_align if file_align <= 0x10000 else len(rsrc)
    raw = max(raw, len(rsrc))
    at = headers
    f = bytearray(at + raw)
    f[0:2] = b"MZ"
    struct.pack_into("<I", f, 0x3C, lfanew)
    f[lfanew:lfanew + 4] = b"PE\0\0"
    struct.pack_into("<HHIIIHH", f, lfanew + 4, 0x14C, 1, 0, 0, 0, 0xE0, 0x102)
    o = lfanew + 24
    struct.pack_into("<H", f, o, 0x10B)
    struct.pack_into("<I", f, o + 28, 0x400000)
    struct.pack_into("<II", f, o + 32, sect_align, file_align)
    struct.pack_into("<II", f, o + 56, rsrc_rva + (len(rsrc) + sect_align - 1) // sect_align * sect_align, headers)
    struct.pack_into("<H", f, o + 68, 2)
    struct.pack_into("<I", f, o + 92, 16)
    struct.pack_into("<II", f, o + 96 + 16, rsrc_rva, len(rsrc))
    s = o + 0xE0
    f[s:s + 8] = b".rsrc\0\0\0"
    if over_headers:
        # The resource directory is the file's first 16 bytes: the DOS header, read as a
        # directory of no entries.
        struct.pack_into("<IIII", f, s + 8, headers + len(rsrc), rsrc_rva, headers + raw, 0)
    else:
        struct.pack_into("<IIII", f, s + 8, len(rsrc), rsrc_rva, raw, at)
    struct.pack_into("<I", f, s + 36, 0x40000040)
    f[at:at + len(rsrc)] = rsrc
    return bytes(f)


def tree(resources, rva=0x1000):
    """A resource section for [(type, name, language, bytes)], types and names str or int."""
    types = {}
    for t, n, lang, data in resources:
        types.setdefault(t, {}).setdefault(n, []).append((lang, data))
    order = lambda keys: sorted(keys, key=lambda k: (isinstance(k, int), k))
    at = 16 + 8 * len(types)
    type_dir, name_dir = {}, {}
    for t in order(types):
        type_dir[t] = at
        at += 16 + 8 * len(types[t])
    for t in order(types):
        for n in order(types[t]):
            name_dir[(t, n)] = at
            at += 16 + 8 * len(types[t][n])
    entries = at
    count = sum(len(l) for names in types.values() for l in names.values())
    at += 16 * count
    strings = {}
    for t in types:
        for n in [t] + list(types[t]):
            if isinstance(n, str) and n not in strings:
                strings[n] = at
                at += 2 + 2 * len(n)
    s = bytearray(at)

    def ident(k):
        return k if isinstance(k, int) else 0x80000000 | strings[k]

    def header(p, keys):
        struct.pack_into("<HH", s, p + 12, sum(isinstance(k, str) for k in keys), sum(isinstance(k, int) for k in keys))

    header(0, types)
    i = 0
    data = bytearray()
    for ti, t in enumerate(order(types)):
        struct.pack_into("<II", s, 16 + 8 * ti, ident(t), 0x80000000 | type_dir[t])
        header(type_dir[t], types[t])
        for ni, n in enumerate(order(types[t])):
            struct.pack_into("<II", s, type_dir[t] + 16 + 8 * ni, ident(n), 0x80000000 | name_dir[(t, n)])
            struct.pack_into("<HH", s, name_dir[(t, n)] + 12, 0, len(types[t][n]))
            for li, (lang, blob) in enumerate(types[t][n]):
                struct.pack_into("<II", s, name_dir[(t, n)] + 16 + 8 * li, lang, entries + 16 * i)
                while (len(s) + len(data)) % 8:
                    data.append(0)
                struct.pack_into("<III", s, entries + 16 * i, rva + len(s) + len(data), len(blob), 0)
                data += blob
                i += 1
    for k, p in strings.items():
        struct.pack_into("<H", s, p, len(k))
        for c, ch in enumerate(k):
            struct.pack_into("<H", s, p + 2 + 2 * c, ord(ch))
    return bytes(s + data)


def szdd(payload, claimed=None):
    """An SZDD stream of literals only; its header may claim another length."""
    out = bytearray(b"SZDD\x88\xf0\x27\x33A\0" + struct.pack("<I", len(payload) if claimed is None else claimed))
    for i in range(0, len(payload), 8):
        out.append(0xFF)
        out += payload[i:i + 8]
    return bytes(out)


SCRIPT = b"WIN95\r\nUnstOrv.exe,1,0,0,3\r\nOrv\r\nTiny\r\n1.0\r\n\r\n\r\n\r\nC:\\Tiny\r\nTiny\r\n\r\n"


def installer(data, filelist=b"a.txt,5.00000001,00000001\r\n"):
    files = [("SCRIPT", SCRIPT), ("LICENCE", b"Licence.\r\n"), ("FILELIST", filelist), ("DATA", data),
             ("UNINSTALL", b"MZ"), ("CHECKSUM", b"%08X" % zlib.crc32(filelist + data))]
    return pe(tree([("FILES", n, 0x409, b) for n, b in files]))


def shared(n, levels=3):
    """A resource section whose every directory entry points to the same next directory:
    n entries at each of three levels name n**3 resources in about 24 * n bytes."""
    s = bytearray(16 + (16 + 8 * n) * levels + 16 + 4)
    dirs = [16 * 0 + (16 + 8 * n) * k for k in range(levels)]
    entry = dirs[-1] + 16 + 8 * n
    for k, d in enumerate(dirs):
        struct.pack_into("<HH", s, d + 12, 0, n)
        for i in range(n):
            target = (0x80000000 | dirs[k + 1]) if k + 1 < levels else entry
            struct.pack_into("<II", s, d + 16 + 8 * i, i + 1, target)
    struct.pack_into("<III", s, entry, 0x1000 + entry + 16, 4, 0)
    s[entry + 16:entry + 20] = b"DATA"
    return bytes(s)


def shared_names(n):
    """Distinct name directories under n types, all sharing one language directory."""
    types = 16 + 8 * n
    names = [types + (16 + 8 * n) * k for k in range(n)]
    langs = names[-1] + 16 + 8 * n
    entry = langs + 16 + 8 * n
    s = bytearray(entry + 16 + 4)
    struct.pack_into("<HH", s, 12, 0, n)
    for i in range(n):
        struct.pack_into("<II", s, 16 + 8 * i, i + 1, 0x80000000 | names[i])
        struct.pack_into("<HH", s, names[i] + 12, 0, n)
        for j in range(n):
            struct.pack_into("<II", s, names[i] + 16 + 8 * j, j + 1, 0x80000000 | langs)
    struct.pack_into("<HH", s, langs + 12, 0, n)
    for i in range(n):
        struct.pack_into("<II", s, langs + 16 + 8 * i, i, entry)
    struct.pack_into("<III", s, entry, 0x1000 + entry + 16, 4, 0)
    return bytes(s)


# (harness, file, how orv is given it, the message expected)
CASES = [
    ("inspect_fuzz", "shared-directories-n-cubed.exe", "inspect", pe(shared(400)), "reached twice"),
    ("inspect_fuzz", "shared-name-directories.exe", "inspect", pe(shared_names(40)), "reached twice"),
    ("inspect_fuzz", "szdd-claims-1gib.exe", "inspect", installer(szdd(b"hello", 1 << 30)), "DATA does not expand (cut short)"),
    ("inspect_fuzz", "szdd-claims-ffffffff.exe", "inspect", installer(szdd(b"hello", 0xFFFFFFFF)),
     "DATA does not expand (cut short)"),
    ("resource_tree_fuzz", "section-data-at-offset-0.exe", "stub", pe(tree([(5, 1, 0x409, b"dialog")]), over_headers=True),
     "overlap the headers"),
    ("resource_tree_fuzz", "file-alignment-1gib.exe", "stub", pe(tree([(5, 1, 0x409, b"dialog")]), file_align=1 << 30),
     "file alignment"),
    ("resource_tree_fuzz", "shared-directories.exe", "stub", pe(shared(150)), "reached twice"),
]

SEEDS = [
    ("inspect_fuzz", "tiny-installer.exe", installer(szdd(b"hello"), b"a.txt,5.00000001,00000001\r\n")),
    ("resource_tree_fuzz", "tiny-stub.exe", pe(tree([(5, 103, 0x409, b"dialog"), (16, 1, 0x409, b"version"),
                                                     ("FILES", "DATA", 0x409, b"data")]))),
    ("pe_image_fuzz", "tiny-stub.exe", pe(tree([(16, 1, 0x409, b"version")]))),
    ("szdd_count_fuzz", "hello.szdd", szdd(b"hello, hello, hello")),
]


def make(root):
    for harness, name, _, data, _ in CASES:
        write(os.path.join(root, "regress", harness, name), data)
    for harness, name, data in SEEDS:
        write(os.path.join(root, "seeds", harness, name), data)


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def check(orv):
    failed = 0
    with tempfile.TemporaryDirectory() as tmp:
        for harness, name, how, _, message in CASES:
            path = os.path.join(HERE, "regress", harness, name)
            if how == "inspect":
                cmd = [orv, "inspect", path]
            else:
                # orv build, whose DATA is copied from a file: the headers are then the first
                # piece's bytes alone, which the stub's section table may lie beyond.
                product = os.path.join(HERE, "..", "..", "resources", "example")
                cmd = [orv, "build", product, "--stub", path, "-o", os.path.join(tmp, "out.exe"), "-q"]
            r = subprocess.run(cmd, capture_output=True, text=True, timeout=60)
            ok = r.returncode == 1 and message in r.stderr
            print("%s %s: exit %d, %s" % ("ok  " if ok else "FAIL", name, r.returncode, r.stderr.strip()[-300:]))
            failed += not ok
    return 1 if failed else 0


if __name__ == "__main__":
    if sys.argv[1] == "make":
        make(sys.argv[2] if len(sys.argv) > 2 else HERE)
    else:
        sys.exit(check(sys.argv[2]))
