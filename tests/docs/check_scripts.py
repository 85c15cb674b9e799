#!/usr/bin/env python3
"""Runs `orv check` on every install script in docs/ that is marked as a complete product.

A complete product is a fenced code block right after a marker line (blank lines between
them are allowed):

    <!-- complete product: NAME; payload: FILE, FILE=SOURCE, ... -->

The block is the product's SCRIPT (its lines joined with CR LF, ending with CR LF, TABs
kept). FILE is a payload file as the script names it (`docs\\a.html`); FILE=SOURCE fills it
with a file of the build directory (`win/orvtest.sys`, the test driver with its version
resource), any other FILE gets a short text. The product's LICENCE is one line.

Every marked block must pass `orv check PRODUCT_DIR` with exit code 0 and no warning. A
page without a marked block is fine, but docs/ as a whole must have at least one. When orv
is not built the test fails: the documentation is only as good as the check that runs it.

Usage:
  check_scripts.py --orv BUILD/orv --build BUILD DOCS_DIR
  check_scripts.py --self-test        checks the marker reader on a made-up page
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile

MARKER = re.compile(r"^<!--\s*complete product:\s*(?P<name>[\w.-]+)\s*;\s*payload:\s*(?P<payload>.*?)\s*-->\s*$")
FENCE = re.compile(r"^(```|~~~)")


class PageError(Exception):
    pass


def complete_products(page_text, page_name="page"):
    """[(name, line number, script text with CR LF, {file: source or None})]."""
    lines = page_text.split("\n")
    out = []
    i = 0
    while i < len(lines):
        m = MARKER.match(lines[i].strip())
        if not m:
            i += 1
            continue
        where = "%s:%d" % (page_name, i + 1)
        j = i + 1
        while j < len(lines) and not lines[j].strip():
            j += 1
        if j >= len(lines) or not FENCE.match(lines[j]):
            raise PageError("%s: the marker is not followed by a fenced block" % where)
        fence = FENCE.match(lines[j]).group(1)
        k = j + 1
        while k < len(lines) and not lines[k].startswith(fence):
            k += 1
        if k >= len(lines):
            raise PageError("%s: the block after the marker is not closed" % where)
        payload = {}
        for item in [p.strip() for p in m.group("payload").split(",") if p.strip()]:
            name, _, source = item.partition("=")
            payload[name.strip()] = source.strip() or None
        if not payload:
            raise PageError("%s: the marker names no payload file" % where)
        script = "".join(l.rstrip("\r") + "\r\n" for l in lines[j + 1:k])
        out.append((m.group("name"), i + 1, script, payload))
        i = k + 1
    return out


def make_product(root, name, script, payload, build):
    d = os.path.join(root, name)
    os.makedirs(os.path.join(d, "payload"))
    with open(os.path.join(d, "SCRIPT"), "wb") as f:
        f.write(script.encode("cp1252"))
    with open(os.path.join(d, "LICENCE"), "wb") as f:
        f.write(b"Use it kindly.\r\n")
    for rel, source in payload.items():
        host = os.path.join(d, "payload", *re.split(r"[\\/]", rel))
        os.makedirs(os.path.dirname(host), exist_ok=True)
        if source:
            src = os.path.join(build, source)
            if not os.path.exists(src):
                raise PageError("%s: the payload source %s is not built" % (name, src))
            shutil.copyfile(src, host)
        else:
            with open(host, "wb") as f:
                f.write(("%s of %s\r\n" % (rel, name)).encode("ascii"))
    return d


def check(args):
    pages = sorted(os.path.join(args.docs, n) for n in os.listdir(args.docs) if n.endswith(".md"))
    products = []
    failed = False
    for page in pages:
        with open(page, encoding="utf-8") as f:
            try:
                products += [(page,) + p for p in complete_products(f.read(), page)]
            except PageError as e:
                print("error: %s" % e)
                failed = True
    if not products:
        print("error: no script in %s is marked as a complete product" % args.docs)
        return 1
    print("%d complete product(s): %s" % (len(products), ", ".join(p[1] for p in products)))
    if not os.path.exists(args.orv):
        print("error: %s is not built: the scripts of the documentation cannot be checked" % args.orv)
        return 1
    work = tempfile.mkdtemp(prefix="orv-docs-")
    try:
        for page, name, line, script, payload in products:
            try:
                d = make_product(work, name, script, payload, args.build)
            except PageError as e:
                print("%s:%d: error: %s" % (page, line, e))
                failed = True
                continue
            r = subprocess.run([args.orv, "check", d], capture_output=True, text=True, timeout=120)
            said = (r.stdout + r.stderr).strip()
            warnings = [l for l in said.splitlines() if ": warning:" in l]
            if r.returncode != 0 or warnings:
                print("%s:%d: error: orv check of %s: exit %d (expected 0, no warning):\n%s" % (
                    page, line, name, r.returncode, said))
                failed = True
            else:
                print("%s:%d: %s passes orv check" % (page, line, name))
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return 1 if failed else 0


SELF_TEST_PAGE = """Text.

<!-- complete product: Alpha; payload: a.exe, docs\\b.html, drivers\\d.sys=win/orvtest.sys -->

```
95,98
x\tTAB ; c
.
```

```
not marked
```
<!-- complete product: Beta; payload: b.txt -->
~~~text
one
~~~
"""


def self_test():
    got = complete_products(SELF_TEST_PAGE)
    expected = [
        ("Alpha", 3, "95,98\r\nx\tTAB ; c\r\n.\r\n",
         {"a.exe": None, "docs\\b.html": None, "drivers\\d.sys": "win/orvtest.sys"}),
        ("Beta", 14, "one\r\n", {"b.txt": None}),
    ]
    ok = got == expected
    print("markers read: %s" % ("as expected" if ok else "expected %r, got %r" % (expected, got)))
    for bad, why in (("<!-- complete product: C; payload: x -->\ntext\n", "no block"),
                     ("<!-- complete product: C; payload: x -->\n```\nopen\n", "open block"),
                     ("<!-- complete product: C; payload:  -->\n```\nx\n```\n", "no payload")):
        try:
            complete_products(bad)
            print("error: a page with %s was accepted" % why)
            ok = False
        except PageError as e:
            print("refused as expected (%s): %s" % (why, e))
    return 0 if ok else 1


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--orv")
    ap.add_argument("--build")
    ap.add_argument("--self-test", action="store_true")
    ap.add_argument("docs", nargs="?")
    args = ap.parse_args()
    if args.self_test:
        return self_test()
    if not (args.orv and args.build and args.docs):
        ap.print_usage()
        return 2
    return check(args)


if __name__ == "__main__":
    sys.exit(main())
