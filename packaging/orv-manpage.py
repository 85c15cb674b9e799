#!/usr/bin/env python3
"""Writes the manual page orv(1) from the help texts of an orv program: `orv --help`, then
`orv VERB --help` for each verb that it lists, each shown as it prints it.

    orv-manpage.py ORV OUT.1
"""
import re
import subprocess
import sys


def helptext(orv, *args):
    r = subprocess.run([orv] + list(args) + ["--help"], stdout=subprocess.PIPE, check=True)
    return r.stdout.decode("utf-8")


def verbs(main_help):
    """The verbs in orv --help's list: lines "  orv VERB ..."."""
    found = []
    for line in main_help.splitlines():
        m = re.match(r"  orv (\S+)", line)
        if m and m.group(1) not in found:
            found.append(m.group(1))
    return found


def roff_block(text):
    """Text shown as it is: no filling, backslashes and leading dots and quotes escaped."""
    out = [".nf"]
    for line in text.rstrip("\n").split("\n"):
        line = line.replace("\\", "\\e").replace("-", "\\-")
        if line.startswith((".", "'")):
            line = "\\&" + line
        out.append(line if line else ".sp")
    out.append(".fi")
    return out


def page(orv):
    main = helptext(orv)
    version = subprocess.run([orv, "--version"], stdout=subprocess.PIPE).stdout.decode().splitlines()[0]
    summary = main.split("\n")[2].rstrip(".")
    summary = summary[0].lower() + summary[1:]
    lines = ['.TH ORV 1 "" "%s" "User Commands"' % version,
             ".SH NAME", "orv \\- " + summary,
             ".SH SYNOPSIS", ".B orv", ".I VERB", "[\\fIARGS\\fR...]",
             ".SH DESCRIPTION"]
    lines += roff_block(main)
    for verb in verbs(main):
        lines += [".SH \"ORV %s\"" % verb.upper()]
        lines += roff_block(helptext(orv, verb))
    lines += [".SH SEE ALSO", "/usr/share/doc/orv/publishing.md, /usr/share/doc/orv/install\\-script.md,",
              "/usr/share/doc/orv/messages.md"]
    return "\n".join(lines) + "\n"


def main(argv):
    if len(argv) != 3:
        sys.stderr.write(__doc__)
        return 2
    with open(argv[2], "w", encoding="utf-8") as f:
        f.write(page(argv[1]))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
