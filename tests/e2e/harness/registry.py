"""Registry files of a prefix (system.reg: HKEY_LOCAL_MACHINE, user.reg: HKEY_CURRENT_USER)."""
import os
import re

ROOTS = {
    "HKLM": "HKLM", "HKEY_LOCAL_MACHINE": "HKLM",
    "HKCU": "HKCU", "HKEY_CURRENT_USER": "HKCU",
}


_ESCAPE = re.compile(r"\\(x[0-9a-fA-F]{1,4}|.)", re.S)
_ESCAPES = {"n": "\n", "r": "\r", "t": "\t", "0": "\0"}


def _reg_unescape(s):
    def one(m):
        e = m.group(1)
        if len(e) > 1:
            return chr(int(e[1:], 16))
        return _ESCAPES.get(e, e)
    return _ESCAPE.sub(one, s)


_QUOTED = re.compile(r'"((?:[^"\\]|\\.)*)"', re.S)


def _split_quoted(s):
    """'"abc\\"d"=rest' -> ('abc"d', '=rest')."""
    m = _QUOTED.match(s)
    if not m:
        raise ValueError("unterminated string in registry file: %r" % s[:80])
    text = m.group(1)
    return (_reg_unescape(text) if "\\" in text else text), s[m.end():]


def _reg_value(v):
    if v.startswith('"'):
        return _split_quoted(v)[0]
    if v.startswith("str(2):"):
        return _split_quoted(v[7:])[0]
    if v.startswith("dword:"):
        return int(v[6:], 16)
    m = re.match(r"hex(?:\(([0-9a-fA-F]+)\))?:(.*)$", v, re.S)
    if m:
        data = bytes(int(x, 16) for x in re.split(r"[,\s\\]+", m.group(2)) if x)
        kind = int(m.group(1), 16) if m.group(1) else 3
        if kind in (1, 2):
            return data.decode("utf-16-le").rstrip("\0")
        if kind == 4 and len(data) == 4:
            return int.from_bytes(data, "little")
        return data
    return v


def parse_reg_file(path):
    """{lower-case key path: (key path, {value name: value})} of one Wine registry file."""
    keys = {}
    with open(path, "rb") as f:
        lines = f.read().decode("utf-8", "replace").split("\n")
    cur = None
    i = 0
    while i < len(lines):
        line = lines[i].rstrip("\r")
        i += 1
        while line.endswith("\\") and i < len(lines) and re.match(r"\s", lines[i] or "x"):
            line = line[:-1] + lines[i].strip()
            i += 1
        if line.startswith("["):
            m = re.match(r"\[(.*)\](?:\s+\d+)?\s*$", line)
            name = _reg_unescape(m.group(1)) if m else line[1:]
            cur = keys.setdefault(name.lower(), (name, {}))[1]
        elif cur is not None and (line.startswith('"') or line.startswith("@=")):
            if line.startswith("@="):
                vname, rest = "", line[1:]
            else:
                vname, rest = _split_quoted(line)
            if rest.startswith("="):
                cur[vname] = _reg_value(rest[1:])
    return keys


class Registry:
    """The registry of a prefix as written in system.reg and user.reg."""

    def __init__(self, prefix):
        self.hives = {"HKLM": parse_reg_file(os.path.join(prefix, "system.reg")),
                      "HKCU": parse_reg_file(os.path.join(prefix, "user.reg"))}

    @staticmethod
    def _split(key):
        root, _, rest = key.replace("/", "\\").partition("\\")
        if root.upper() not in ROOTS:
            raise ValueError("unknown registry root in %r" % key)
        return ROOTS[root.upper()], rest.strip("\\").lower()

    def key(self, key):
        root, rest = self._split(key)
        k = self.hives[root].get(rest)
        return dict(k[1]) if k else None

    def has_key(self, key):
        return self.key(key) is not None

    def value(self, key, name):
        k = self.key(key)
        if k is None:
            return None
        for n, v in k.items():
            if n.lower() == name.lower():
                return v
        return None

    def subkeys(self, key):
        root, rest = self._split(key)
        pre = rest + "\\" if rest else ""
        out = set()
        for low, (name, _) in self.hives[root].items():
            if low.startswith(pre) and len(low) > len(pre):
                out.add(name[len(pre):].split("\\")[0])
        return sorted(out, key=str.lower)

    def flat(self):
        """{(root, lower key): {lower value name: value}} for comparisons."""
        return {(r, low): {n.lower(): v for n, v in vals.items()}
                for r, h in self.hives.items() for low, (_, vals) in h.items()}
