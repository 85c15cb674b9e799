"""Shared pieces of the program folder, driver, registration and completion tests.

An install script of the example product's shape with every list given by the test, the
scenario steps that bring an installer from its first question to the program folder
dialog, and readers for what the installation left behind.
"""

import harness as h
from harness import box, q

COMPANY = "Kestrel Lane Software"
APP = "Lumivane"
VERSION = "1.0.2"
SETUP_NAME = APP + " " + VERSION + " setup"
INSTALL_DIR = "C:\\Program Files\\Orv\\Lumivane"
UNINSTALL_KEY = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + APP
LICENCE = "Be nice.\r\n"

DEFAULT_PAYLOAD = {
    "index.html": b"<html><body>Lumivane</body></html>\r\n",
    "cdroms.html": b"<html><body>CD-ROMs</body></html>\r\n",
}
DEFAULT_ITEMS = ["index.html,Lumivane documentation", "cdroms.html,Writing HTML CD-ROMs article"]

IDC_OPTION1, IDC_OPTION2, IDC_OPTION3 = 1009, 1010, 1011
IDC_OPTIONS_GROUP, IDC_RESTART_NOW, IDC_RESTART_GROUP = 1012, 1013, 1015

# Ends a list in the script; None in a section list stops the script before that section.
END = "."


def script(platforms="95,98,NT,W2", folder="Lumivane", items=None, registry=(), drivers=(), options=(),
           stop_after=None, end_options=True):
    """The install script as text with CR LF line ends.

    items, registry, drivers, options: the lines of each list (without its closing ".").
    stop_after: the name of the last section written ("items", "registry", "drivers-open"
    for the driver lines without their "."), so that the script ends early; folder=None
    ends it before the suggested folder name.
    """
    items = DEFAULT_ITEMS if items is None else items
    lines = [platforms, "UnstOrv.exe,1,0,0,3", COMPANY, APP, VERSION, "http://www.kestrellane.co.uk/download/",
             END, END, "Orv\\Lumivane\\"]
    if folder is None:
        return "".join(line + "\r\n" for line in lines)
    lines.append(folder)
    lines += list(items) + [END]
    if stop_after != "items":
        lines += list(registry) + [END]
        if stop_after != "registry":
            lines += list(drivers)
            if stop_after != "drivers-open":
                lines.append(END)
                lines += list(options)
                if end_options:
                    lines.append(END)
    return "".join(line + "\r\n" for line in lines)


def _to_choose_folder():
    """Scenario steps from the confirmation question to the directory dialog, shown."""
    return """
        expect caption=%s text=%s
        press 1
        expect caption="Software Licence Agreement"
        press 1
        expect caption="Choose folder"
    """ % (q(COMPANY), q("Are you sure you want to install %s %s?" % (APP, VERSION)))


def to_folder_dialog():
    """Scenario steps from the confirmation question to the program folder dialog, for a
    prefix where the installation directory does not exist yet."""
    return _to_choose_folder() + """
        control 1000 text=%s
        press 1
        expect caption=%s text="This directory does not exist.  Do you want to create it?"
        press 1
    """ % (q(INSTALL_DIR + "\\"), q(SETUP_NAME))


def to_folder_dialog_again():
    """The same steps for a second installation into the existing directory, which is
    accepted without the creation question."""
    return _to_choose_folder() + """
        press 1
    """


def accept_folder(name=APP):
    """The program folder dialog with its suggested name, accepted."""
    return """
        expect caption="Select Program Folder"
        control 1005 text=%s
        press 1
    """ % q(name)


def finish(untick=(IDC_OPTION1,)):
    """The completion dialog closed with OK after unticking the given options."""
    steps = ['expect caption="Installation complete"']
    steps += ["untick %d" % cid for cid in untick]
    steps += ["press 1", "end"]
    return "\n".join(steps) + "\n"


def internal_error(number):
    return box(APP, "Orv Install internal error %d" % number)


def warning(text):
    return box(APP, text)


def installer(case, text, payload=None, **kw):
    """A test build of an installer with this script, the short licence and the payload."""
    case.need(h.orv_tool())
    return case.product(script=text, licence=LICENCE, payload=DEFAULT_PAYLOAD if payload is None else payload,
                        **kw).build()


def uninstall_lines(pfx):
    data = pfx.uninstall_script(INSTALL_DIR + "\\Uninst.orv")
    assert data.endswith(b"\r\n"), data[-40:]
    return data[:-2].decode("cp1252").split("\r\n")


def sections(lines):
    """The uninstall script split into header (3 lines) and the sections ending at "."."""
    header, rest = lines[:3], lines[3:]
    out = []
    current = []
    for line in rest:
        if line == ".":
            out.append(current)
            current = []
        else:
            current.append(line)
    if current:
        out.append(current)
    return header, out


def dialog(result, caption):
    """The last window record of a dialog with that caption."""
    found = [w for w in result.dialogs if w.get("caption") == caption]
    assert found, "no dialog %r among %r" % (caption, [w.get("caption") for w in result.dialogs])
    return found[-1]


def control(window, cid):
    for c in window["controls"]:
        if c["id"] == cid:
            return c
    raise AssertionError("no control %d in %r" % (cid, window.get("caption")))
