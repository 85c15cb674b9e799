#!/usr/bin/env python3
"""The source folders against the directions their includes may point (docs/design.md).

Every "..." include of a .cpp, .h or .c file under common/, install/, uninstall/ and tools/
is resolved (beside the including file first, then from the source root, then from
resources/) and must land in the including folder itself or in one the table below allows.
The pure folders include no header of file or process I/O.
<windows.h> and the other platform headers are allowed only in the platform folders, and
a `_WIN32` test only in tools/host/, the one place of the publisher's tools that knows the
platform. A header that resolves nowhere is reported too, so that a moved file is not
passed over.

Usage: check_layout.py SOURCE_DIR              exit 0 when every include keeps its direction
       check_layout.py --self-test SOURCE_DIR  shows that an include pointing up, a platform
                                               header or file I/O in pure logic and a _WIN32
                                               test in a verb are each seen.
"""
import os
import re
import sys

# Folder -> the folders (or single headers) it may include besides itself.
ALLOWED = {
    "common/format": set(),
    "common": {"common/format"},
    "common/win": {"common", "common/format"},
    "install/logic": {"common", "common/format"},
    "uninstall/logic": {"common", "common/format"},
    "install": {"install/logic", "common", "common/format", "common/win", "resources"},
    "install/steps": {"install", "install/logic", "common", "common/format", "common/win", "resources"},
    "uninstall": {"uninstall/logic", "common", "common/format", "common/win"},
    "tools/host": set(),
    "tools/pe": {"common/format"},
    "tools/szdd": {"common/format"},
    "tools/payload": {"tools/pe", "tools/szdd", "tools/host", "common/format"},
    # It judges a script as the installer will read it, by the installer's own rules.
    "tools/script_check": {"tools/payload", "install/logic", "install/results.h", "common/format"},
    "tools/orv": {"tools/payload", "tools/script_check", "tools/pe", "tools/szdd", "tools/host", "common/format"},
}
PLATFORM = {"common/win", "install", "install/steps", "uninstall", "tools/host"}
PLATFORM_HEADERS = re.compile(r"^\s*#\s*include\s*<(windows|winnt|winbase|winuser|shlobj|objbase|io|direct)\.h>",
                              re.M | re.I)
# The pure folders: logic over spans and buffers, which reads and writes no file itself.
PURE = {"common/format", "common", "install/logic", "uninstall/logic", "tools/pe", "tools/szdd"}
HOST_IO = re.compile(r"^\s*#\s*include\s*<(stdio\.h|cstdio|fstream|iostream|filesystem|unistd\.h|fcntl\.h|"
                     r"sys/[a-z_]+\.h|dirent\.h)>", re.M)
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"', re.M)
WIN32_TEST = re.compile(r"^\s*#\s*(if|ifdef|ifndef|elif)\b.*\b_WIN32\b", re.M)
TOPS = ("common", "install", "uninstall", "tools")


def folder_of(rel):
    """The folder of the table that a path relative to the source root belongs to."""
    parts = rel.split("/")
    if parts[0] == "resources":
        return "resources"
    for depth in (2, 1):
        name = "/".join(parts[:depth])
        if len(parts) > depth and name in ALLOWED:
            return name
    return None


def resolve(root, including, name):
    for base in (os.path.dirname(including), root, os.path.join(root, "resources")):
        path = os.path.normpath(os.path.join(base, name))
        if os.path.isfile(path):
            return os.path.relpath(path, root).replace(os.sep, "/")
    return None


def sources(root):
    for top in TOPS:
        for base, dirs, names in os.walk(os.path.join(root, top)):
            dirs.sort()
            for n in sorted(names):
                if n.endswith((".cpp", ".h", ".c")):
                    yield os.path.join(base, n)


def problems(root, texts=None):
    """Every include that breaks a direction, as "FILE:LINE: error: ..." lines. texts maps a
    relative path to a text that stands in for the file's (the self-test's changes)."""
    found = []
    files = list(sources(root))
    extra = [os.path.join(root, p) for p in (texts or {}) if os.path.join(root, p) not in files]
    for path in files + extra:
        rel = os.path.relpath(path, root).replace(os.sep, "/")
        own = folder_of(rel)
        if own is None:
            found.append("%s:1: error: in no folder of the layout table" % rel)
            continue
        if texts and rel in texts:
            text = texts[rel]
        else:
            with open(path, encoding="utf-8", errors="replace") as f:
                text = f.read()

        def line(offset):
            return text.count("\n", 0, offset) + 1

        for m in INCLUDE.finditer(text):
            target = resolve(root, path, m.group(1))
            if target is None:
                found.append('%s:%d: error: "%s" is found nowhere' % (rel, line(m.start()), m.group(1)))
                continue
            to = folder_of(target)
            if to != own and to not in ALLOWED[own] and target not in ALLOWED[own]:
                found.append('%s:%d: error: %s includes "%s" (%s), which it may not' %
                             (rel, line(m.start()), own, m.group(1), to or "outside the layout"))
        if own not in PLATFORM:
            for m in PLATFORM_HEADERS.finditer(text):
                found.append("%s:%d: error: a platform header in %s, which is pure" % (rel, line(m.start()), own))
        if own in PURE:
            for m in HOST_IO.finditer(text):
                found.append("%s:%d: error: <%s> in %s, which reads and writes no file" %
                             (rel, line(m.start()), m.group(1), own))
        if own.startswith("tools/") and own != "tools/host":
            for m in WIN32_TEST.finditer(text):
                found.append("%s:%d: error: a _WIN32 test outside tools/host" % (rel, line(m.start())))
    return found


def self_test(root):
    cases = [
        ("common/format/crc32.cpp", '#include "install/results.h"\n', "common/format includes"),
        ("install/logic/version_rule.cpp", '#include "install/state.h"\n', "install/logic includes"),
        ("tools/pe/pe_probe.cpp", '#include "tools/host/files.h"\n', "tools/pe includes"),
        ("common/format/probe.cpp", "#include <windows.h>\n", "a platform header in common/format"),
        ("tools/orv/probe.cpp", "#ifdef _WIN32\n#endif\n", "a _WIN32 test outside tools/host"),
        ("install/steps/probe.cpp", '#include "tools/orv/verbs.h"\n', "install/steps includes"),
        ("tools/szdd/probe.cpp", '#include "no/such/header.h"\n', "is found nowhere"),
        ("tools/pe/probe.cpp", "#include <stdio.h>\n", "<stdio.h> in tools/pe"),
        ("install/logic/probe.cpp", "#include <sys/stat.h>\n", "<sys/stat.h> in install/logic"),
    ]
    ok = True
    if problems(root):
        print("self-test: the tree itself does not pass; run without --self-test")
        return 1
    for rel, text, expected in cases:
        seen = problems(root, {rel: text})
        if not any(expected in p for p in seen):
            print("self-test: %s holding %r was not seen (got %r)" % (rel, text, seen))
            ok = False
    allowed = problems(root, {"tools/script_check/probe.cpp": '#include "install/results.h"\n'})
    if allowed:
        print("self-test: an allowed include was refused: %r" % allowed)
        ok = False
    print("self-test: %s" % ("every change seen" if ok else "FAILED"))
    return 0 if ok else 1


def main(argv):
    if len(argv) == 3 and argv[1] == "--self-test":
        return self_test(argv[2])
    if len(argv) != 2:
        print("usage: check_layout.py [--self-test] SOURCE_DIR", file=sys.stderr)
        return 2
    found = problems(argv[1])
    for p in found:
        print(p)
    print("layout: %d problem(s)" % len(found))
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
