#!/usr/bin/env python3
"""docs/messages.md against the code: the result numbers and the message texts.

For each program (install, uninstall) the numbers the code can end with are read from its
sources:
  - the number given to a reporting call: ReportInternalError(N), ShowWarning(text, N)
    (install), ShowUninstallMessage(run, text, N) (uninstall);
  - the numbers an entry function returns or exits with (WinMain, RunUninstall;
    ExitProcess(N));
where N is a literal, a named constant (`const int kX = N;`, an enum member), `BASE + i`
inside `for (int i = 0; i < COUNT; ...)`, or a variable whose value comes from a call
(`x = F(...)`): then every non-zero number that F returns, followed the same way. An
argument the script cannot follow fails the test with its place, so that a new way of
passing a number is taught here rather than missed. 0 (success) is used by both programs.

The page: the first cell of every table row under the heading "# install" (up to the next
top-level heading) or "# uninstall" that holds numbers ("17", "36, 37, 38", "53 to 58",
"-1"). Both sets must be equal. Every text in double quotes in any table row under those headings
must also stand, byte for byte, inside a string literal of that program's sources (the
page writes C escapes such as \\r\\n as the code does); dialog captions come from the
program's resource script.

Usage: check_messages.py SOURCE_DIR [PAGE]    exit 0 when they agree, 1 otherwise.
       check_messages.py --self-test SOURCE_DIR  shows that a row taken out of the page, a
                                                 number added and a text changed are seen.
"""
import os
import re
import sys

PROGRAMS = {
    "install": {"dirs": ["install", "common"], "texts": ["resources/install.rc"], "entries": ["WinMain"],
                "calls": {"ReportInternalError": 0, "ShowWarning": 1}},
    "uninstall": {"dirs": ["uninstall", "common"], "texts": ["resources/uninstall.rc"],
                  "entries": ["RunUninstall", "UninstallStart"],
                  "calls": {"ShowUninstallMessage": 2}},
}


class Unresolved(Exception):
    pass


def read_sources(root, dirs):
    files = {}
    for d in dirs:
        for base, _, names in os.walk(os.path.join(root, d)):
            for n in sorted(names):
                if n.endswith((".cpp", ".h")):
                    p = os.path.join(base, n)
                    with open(p, encoding="utf-8", errors="replace") as f:
                        files[os.path.relpath(p, root)] = strip_comments(f.read())
    return files


def strip_comments(text):
    """Comments become blanks (line numbers kept); string literals are left alone."""
    out = []
    i, n = 0, len(text)
    while i < n:
        c = text[i]
        if c == '"' or c == "'":
            j = i + 1
            while j < n and text[j] != c:
                j += 2 if text[j] == "\\" else 1
            out.append(text[i:j + 1])
            i = j + 1
        elif text.startswith("//", i):
            j = text.find("\n", i)
            j = n if j < 0 else j
            out.append(" " * (j - i))
            i = j
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
            out.append(re.sub(r"[^\n]", " ", text[i:j]))
            i = j
        else:
            out.append(c)
            i += 1
    return "".join(out)


def constants(files):
    names = {}
    for text in files.values():
        for m in re.finditer(r"\bconst\s+int\s+(\w+)\s*=\s*(-?\d+)\s*;", text):
            names[m.group(1)] = int(m.group(2))
        for body in re.findall(r"\benum\s*\w*\s*\{([^}]*)\}", text):
            value = -1
            for item in body.split(","):
                item = item.strip()
                if not item:
                    continue
                m = re.match(r"(\w+)\s*(?:=\s*(-?\d+))?$", item)
                if not m:
                    continue
                value = int(m.group(2)) if m.group(2) is not None else value + 1
                names[m.group(1)] = value
    return names


def split_args(text, start):
    """The arguments of the call whose "(" is at text[start]; returns (args, end)."""
    depth, args, cur, i = 0, [], [], start
    while i < len(text):
        c = text[i]
        if c == '"':
            j = i + 1
            while text[j] != '"':
                j += 2 if text[j] == "\\" else 1
            cur.append(text[i:j + 1])
            i = j + 1
            continue
        if c in "([{":
            depth += 1
            if depth == 1:
                i += 1
                continue
        elif c in ")]}":
            depth -= 1
            if depth == 0:
                args.append("".join(cur).strip())
                return args, i
        elif c == "," and depth == 1:
            args.append("".join(cur).strip())
            cur = []
            i += 1
            continue
        cur.append(c)
        i += 1
    raise Unresolved("unbalanced call")


def functions(files):
    """name -> list of (file, body text, body start offset) for every definition."""
    found = {}
    for path, text in files.items():
        for m in re.finditer(r"^[^\n;{}()]*?\b(\w+)\s*\(([^;{)]*(?:\([^)]*\)[^;{)]*)*)\)\s*(?:const\s*)?\{", text, re.M):
            name = m.group(1)
            if name in ("if", "for", "while", "switch", "return", "sizeof"):
                continue
            depth, i = 0, m.end() - 1
            while i < len(text):
                if text[i] == "{":
                    depth += 1
                elif text[i] == "}":
                    depth -= 1
                    if depth == 0:
                        break
                elif text[i] in "\"'":
                    quote = text[i]
                    i += 1
                    while text[i] != quote:
                        i += 2 if text[i] == "\\" else 1
                i += 1
            found.setdefault(name, []).append((path, text[m.end():i], m.end()))
    return found


class Reader:
    def __init__(self, files):
        self.files = files
        self.consts = constants(files)
        self.funcs = functions(files)
        self.returning = {}

    def where(self, path, offset):
        return "%s:%d" % (path, self.files[path].count("\n", 0, offset) + 1)

    def value(self, expr, path, offset, context):
        """The numbers an argument expression can have."""
        expr = expr.strip()
        if re.fullmatch(r"-?\d+", expr):
            return {int(expr)}
        if expr in self.consts:
            return {self.consts[expr]}
        m = re.fullmatch(r"\(?\s*(-?\d+|\w+)\s*\+\s*(\w+)\s*\)?", expr)
        if m:
            base = self.value(m.group(1), path, offset, context)
            loop = re.findall(r"for\s*\(\s*int\s+%s\s*=\s*0\s*;\s*%s\s*<\s*(\w+)\s*;" % (m.group(2), m.group(2)),
                              self.files[path][:offset])
            if not loop:
                raise Unresolved("%s: no loop gives the range of %r" % (self.where(path, offset), expr))
            count = self.value(loop[-1], path, offset, context)
            return {b + k for b in base for c in count for k in range(c)}
        if re.fullmatch(r"\w+", expr):
            # A variable: every call that assigns it in the function around this place.
            assigned = re.findall(r"\b%s\s*=\s*(\w+)\s*\(" % re.escape(expr), context)
            if not assigned:
                raise Unresolved("%s: cannot tell which numbers %r holds" % (self.where(path, offset), expr))
            out = set()
            for f in assigned:
                out |= self.returns(f)
            return out
        raise Unresolved("%s: cannot read the number in %r" % (self.where(path, offset), expr))

    def returns(self, name):
        """Every non-zero number a function returns (numbers it reports are counted where
        it reports them)."""
        if name in self.returning:
            return self.returning[name]
        self.returning[name] = set()
        if name not in self.funcs:
            raise Unresolved("the function %s() that gives a number is not in the sources" % name)
        out = set()
        for path, body, start in self.funcs[name]:
            for m in re.finditer(r"\breturn\s+([^;]+);", body):
                expr = m.group(1).strip()
                if re.fullmatch(r"-?\d+|\w+", expr) and (re.fullmatch(r"-?\d+", expr) or expr in self.consts):
                    v = self.value(expr, path, start + m.start(), body)
                    out |= {x for x in v if x != 0}
        self.returning[name] = out
        return out


def code_numbers(root, program):
    info = PROGRAMS[program]
    files = read_sources(root, info["dirs"])
    r = Reader(files)
    numbers = {0}
    problems = []
    for name, bodies in r.funcs.items():
        if name in info["calls"]:
            continue  # the reporting functions pass on what they are given
        for path, body, start in bodies:
            for call, index in info["calls"].items():
                for m in re.finditer(r"\b%s\s*\(" % call, body):
                    args, _ = split_args(body, m.end() - 1)
                    if len(args) <= index:
                        continue
                    try:
                        numbers |= r.value(args[index], path, start + m.start(), body)
                    except Unresolved as e:
                        problems.append(str(e))
            if name in info["entries"]:
                for m in re.finditer(r"\breturn\s+(-?\d+|\w+)\s*;|\bExitProcess\s*\(\s*(?:\(UINT\)\s*)?(-?\d+|\w+)\s*\)", body):
                    expr = m.group(1) or m.group(2)
                    # A variable returned (if (int x = F(...)) return x;) holds what F returns.
                    try:
                        numbers |= r.value(expr, path, start + m.start(), body)
                    except Unresolved as e:
                        problems.append(str(e))
    return numbers, problems, files


def c_literals(files):
    """Every string literal, adjacent literals joined, as written (escapes kept)."""
    out = []
    for text in files.values():
        for m in re.finditer(r'"(?:[^"\\\n]|\\.)*"(?:\s*"(?:[^"\\\n]|\\.)*")*', text):
            out.append("".join(re.findall(r'"((?:[^"\\\n]|\\.)*)"', m.group(0))))
    return out


NUMBER_CELL = re.compile(r"^\s*(-?\d+(?:\s*(?:,|to|and)\s*-?\d+)*)\s*(?:\(.*\))?\s*$")


def page_entries(page_text):
    """{program: (numbers, quoted texts with their lines)} from the page's tables."""
    out = {p: (set(), []) for p in PROGRAMS}
    current = None
    for no, line in enumerate(page_text.split("\n"), 1):
        h = re.match(r"^#\s+`?(\w+)`?", line)
        if h:
            current = h.group(1) if h.group(1) in PROGRAMS else None
            continue
        if current is None or not line.startswith("|") or re.match(r"^\|[\s:|-]+\|?$", line):
            continue
        for q in re.findall(r'"((?:[^"\\]|\\.)+)"', line):
            out[current][1].append((no, q))
        cells = [c.strip() for c in line.strip().strip("|").split("|")]
        m = NUMBER_CELL.match(cells[0])
        if not m:
            continue
        nums = out[current][0]
        for part in re.split(r"\s*,\s*|\s+and\s+", m.group(1)):
            r = re.fullmatch(r"(-?\d+)\s*to\s*(-?\d+)", part)
            if r:
                nums |= set(range(int(r.group(1)), int(r.group(2)) + 1))
            else:
                nums.add(int(part))
    return out


def compare(root, page_text, page="page", quiet=False):
    """{program: (missing from the page, not in the code, texts not in the code, problems)}."""
    entries = page_entries(page_text)
    out = {}
    for program in PROGRAMS:
        numbers, problems, files = code_numbers(root, program)
        named, quotes = entries[program]
        texts = dict(files)
        for t in PROGRAMS[program]["texts"]:
            with open(os.path.join(root, t), encoding="cp1252", errors="replace") as f:
                texts[t] = f.read()
        literals = c_literals(texts)
        bad = [(no, q) for no, q in quotes if not any(q in lit for lit in literals)]
        out[program] = (numbers - named, named - numbers, bad, problems)
        if not quiet:
            for p in problems:
                print("%s: error: %s" % (program, p))
            print("%s: numbers in the code (%d): %s" % (program, len(numbers), sorted(numbers)))
            print("%s: numbers on the page (%d): %s" % (program, len(named), sorted(named)))
            if numbers - named:
                print("%s: error: used in the code but not on the page: %s" % (program, sorted(numbers - named)))
            if named - numbers:
                print("%s: error: on the page but not used in the code: %s" % (program, sorted(named - numbers)))
            for no, q in bad:
                print("%s:%d: error: the text \"%s\" is in no string of the %s sources" % (page, no, q, program))
    return out


def self_test(root, page_text):
    """The check must see a removed row, an added number and a changed text on the real page."""
    ok = True
    lines = page_text.split("\n")
    row17 = [i for i, l in enumerate(lines) if l.startswith("| 17 |")]
    row4u = [i for i, l in enumerate(lines) if l.startswith("| 4 |") and "no memory for uninstall script" in l]
    cases = []
    if row17 and row4u:
        cases.append(("install row 17 removed", "\n".join(lines[:row17[0]] + lines[row17[0] + 1:]),
                      lambda r: 17 in r["install"][0]))
        cases.append(("uninstall row 4 removed", "\n".join(lines[:row4u[0]] + lines[row4u[0] + 1:]),
                      lambda r: 4 in r["uninstall"][0]))
        cases.append(("install row 47 added", "\n".join(lines[:row17[0]] + ["| 47 | internal error | x | y |"] +
                                                       lines[row17[0]:]), lambda r: 47 in r["install"][1]))
        changed = lines[row17[0]].replace("Could not create an output file", "Could not create the output file")
        cases.append(("text of 17 changed", "\n".join(lines[:row17[0]] + [changed] + lines[row17[0] + 1:]),
                      lambda r: any("the output file" in q for _, q in r["install"][2])))
    else:
        print("self-test: error: the page has no row 17 (install) or 4 (uninstall) to take out")
        ok = False
    for name, text, seen in cases:
        got = compare(root, text, quiet=True)
        found = seen(got)
        print("self-test: %s: %s" % (name, "seen" if found else "NOT SEEN (got %r)" % (got,)))
        ok = ok and found
    return 0 if ok else 1


def main(argv):
    args = [a for a in argv[1:] if a != "--self-test"]
    if not args:
        print(__doc__)
        return 2
    root = args[0]
    page = args[1] if len(args) > 1 else os.path.join(root, "docs", "messages.md")
    with open(page, encoding="utf-8") as f:
        text = f.read()
    if "--self-test" in argv:
        return self_test(root, text)
    result = compare(root, text, page)
    failed = any(missing or extra or bad or problems for missing, extra, bad, problems in result.values())
    print("messages page and code %s" % ("DIFFER" if failed else "agree"))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
