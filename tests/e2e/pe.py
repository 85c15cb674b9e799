"""Reading 32-bit PE files: the header fields the tests check and the resource directory."""
import struct

IMAGE_FILE_MACHINE_I386 = 0x14C
PE32_MAGIC = 0x10B


class PeError(Exception):
    pass


class Pe:
    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise PeError("no MZ header")
        (self.pe_offset,) = struct.unpack_from("<I", data, 0x3C)
        if data[self.pe_offset:self.pe_offset + 4] != b"PE\0\0":
            raise PeError("no PE signature")
        coff = self.pe_offset + 4
        (self.machine, self.section_count, _, _, _, self.optional_size,
         self.characteristics) = struct.unpack_from("<HHIIIHH", data, coff)
        opt = coff + 20
        (self.magic,) = struct.unpack_from("<H", data, opt)
        if self.magic == PE32_MAGIC:
            (self.subsystem,) = struct.unpack_from("<H", data, opt + 68)
            (dir_count,) = struct.unpack_from("<I", data, opt + 92)
            dirs = opt + 96
        else:
            (self.subsystem,) = struct.unpack_from("<H", data, opt + 68)
            (dir_count,) = struct.unpack_from("<I", data, opt + 108)
            dirs = opt + 112
        self.directories = [struct.unpack_from("<II", data, dirs + 8 * i) for i in range(dir_count)]
        self.sections = []
        sec = opt + self.optional_size
        for i in range(self.section_count):
            name, vsize, va, raw_size, raw_ptr = struct.unpack_from("<8sIIII", data, sec + 40 * i)
            self.sections.append((name.rstrip(b"\0").decode("latin-1"), va, max(vsize, raw_size), raw_ptr, raw_size))

    def offset(self, rva):
        for _, va, size, raw_ptr, raw_size in self.sections:
            if va <= rva < va + size:
                if rva - va >= raw_size:
                    raise PeError("RVA %#x lies outside the file" % rva)
                return raw_ptr + rva - va
        raise PeError("RVA %#x in no section" % rva)

    def _entries(self, base, table):
        names, ids = struct.unpack_from("<HH", self.data, base + table + 12)
        for i in range(names + ids):
            name, target = struct.unpack_from("<II", self.data, base + table + 16 + 8 * i)
            if name & 0x80000000:
                at = base + (name & 0x7FFFFFFF)
                (length,) = struct.unpack_from("<H", self.data, at)
                key = self.data[at + 2:at + 2 + 2 * length].decode("utf-16-le")
            else:
                key = name
            yield key, target

    def resources(self):
        """{(type, name, language): bytes}; string names as str, numeric ones as int."""
        if len(self.directories) < 3 or self.directories[2][0] == 0:
            return {}
        base = self.offset(self.directories[2][0])
        out = {}
        for rtype, t1 in self._entries(base, 0):
            if not t1 & 0x80000000:
                raise PeError("resource type without a directory")
            for rname, t2 in self._entries(base, t1 & 0x7FFFFFFF):
                if not t2 & 0x80000000:
                    raise PeError("resource name without a directory")
                for lang, t3 in self._entries(base, t2 & 0x7FFFFFFF):
                    if t3 & 0x80000000:
                        raise PeError("resource language pointing to a directory")
                    rva, size = struct.unpack_from("<II", self.data, base + t3)
                    at = self.offset(rva)
                    if at + size > len(self.data):
                        raise PeError("resource data beyond the end of the file")
                    out[(rtype, rname, lang)] = self.data[at:at + size]
        return out

    def _c_string(self, rva):
        at = self.offset(rva)
        end = self.data.index(b"\0", at)
        return self.data[at:end].decode("latin-1")

    def imports(self):
        """Names of the DLLs of the import directory, as the file spells them."""
        if len(self.directories) < 2 or self.directories[1][0] == 0:
            return []
        at = self.offset(self.directories[1][0])
        names = []
        while True:
            lookup, _, _, name, thunk = struct.unpack_from("<IIIII", self.data, at)
            if (lookup, name, thunk) == (0, 0, 0):
                return names
            names.append(self._c_string(name))
            at += 20

    def imported_functions(self):
        """{DLL name in lower case: [function names, or "#ordinal"]} of the import directory."""
        out = {}
        if len(self.directories) < 2 or self.directories[1][0] == 0:
            return out
        at = self.offset(self.directories[1][0])
        while True:
            lookup, _, _, name, thunk = struct.unpack_from("<IIIII", self.data, at)
            if (lookup, name, thunk) == (0, 0, 0):
                return out
            names = out.setdefault(self._c_string(name).lower(), [])
            entry = self.offset(lookup or thunk)
            while True:
                (value,) = struct.unpack_from("<I", self.data, entry)
                if value == 0:
                    break
                names.append("#%d" % (value & 0xFFFF) if value & 0x80000000 else self._c_string(value + 2))
                entry += 4
            at += 20

    def base_relocations(self):
        """The base relocation blocks as (page RVA, [(type, offset in the page)])."""
        if len(self.directories) < 6 or self.directories[5][1] == 0:
            return []
        rva, size = self.directories[5]
        at, end = self.offset(rva), self.offset(rva) + size
        blocks = []
        while at < end:
            page, length = struct.unpack_from("<II", self.data, at)
            if length < 8 or at + length > end:
                raise PeError("relocation block of %d bytes at %#x" % (length, at))
            entries = struct.unpack_from("<%dH" % ((length - 8) // 2), self.data, at + 8)
            blocks.append((page, [(e >> 12, e & 0xFFF) for e in entries]))
            at += length
        return blocks

    def rebased(self, base):
        """The image's bytes with its relocations applied for loading at `base`, which the
        header then names as the preferred one."""
        opt = self.pe_offset + 24
        (old,) = struct.unpack_from("<I", self.data, opt + 28)
        out = bytearray(self.data)
        for page, entries in self.base_relocations():
            for kind, offset in entries:
                if kind == 3:  # IMAGE_REL_BASED_HIGHLOW
                    at = self.offset(page + offset)
                    (value,) = struct.unpack_from("<I", out, at)
                    struct.pack_into("<I", out, at, (value - old + base) & 0xFFFFFFFF)
                elif kind != 0:
                    raise PeError("relocation type %d" % kind)
        struct.pack_into("<I", out, opt + 28, base)
        return bytes(out)

    def delay_imports(self):
        """Names of the DLLs of the delay-load import directory."""
        if len(self.directories) < 14 or self.directories[13][0] == 0:
            return []
        at = self.offset(self.directories[13][0])
        names = []
        while True:
            attributes, name = struct.unpack_from("<II", self.data, at)
            if name == 0:
                return names
            names.append(self._c_string(name))
            at += 32

    def resource(self, rtype, name):
        found = [v for (t, n, _), v in self.resources().items() if t == rtype and n == name]
        if len(found) != 1:
            raise PeError("%d resources %s/%s" % (len(found), rtype, name))
        return found[0]


def load(path):
    with open(path, "rb") as f:
        return Pe(f.read())
