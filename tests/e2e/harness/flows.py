"""Flows that several tests and scripts run: the example product as a test build, a
service's state, and an installation followed by the uninstallation that its Add/Remove
Programs entry starts."""
import os
import pathlib
import re

from .env import source_dir, win_file

UNINSTALL_ROOT = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"
# The shared uninstaller that every installation leaves in the Windows directory.
SHARED_UNINSTALLER = "C:\\windows\\UnstOrv.exe"


def example_payload():
    """{name in the file list: host path} of the example's payload as the build made it."""
    payload_dir = win_file(os.path.join("example", "product", "payload"))
    payload = {}
    for root, _, names in os.walk(payload_dir):
        for n in names:
            full = os.path.join(root, n)
            payload[os.path.relpath(full, payload_dir).replace("/", "\\")] = full
    return payload


def example_product(case, script=None, repack=False, **kw):
    """The example product as a test build (fault injection), a Product to build. Its
    FILELIST and DATA are the build's (win/example/packed) unless repack: then its payload
    is packed again in its order. script: bytes instead of its SCRIPT."""
    src = os.path.join(source_dir(), "resources", "example")
    example = win_file("example")
    if repack:
        case.need(os.path.join(example, "product", "payload"))
        with open(os.path.join(src, "payload.order")) as fh:
            order = [l.strip() for l in fh if l.strip()]
        return case.product(script=script if script is not None else pathlib.Path(os.path.join(src, "SCRIPT")),
                            licence=pathlib.Path(os.path.join(src, "LICENCE")),
                            payload=example_payload(), order=order, **kw)
    product, packed = example + "/product", example + "/packed"
    res = {"FILELIST": packed + "/FILELIST", "DATA": packed + "/DATA"}
    res.update(kw.pop("resources", {}))
    case.need(packed + "/DATA")
    return case.product(script=script if script is not None else pathlib.Path(product + "/SCRIPT"),
                        licence=pathlib.Path(product + "/LICENCE"), resources=res, **kw)


def without_documentation_option(script):
    """The example's SCRIPT with its one completion option (show the documentation) off, so
    that answering the completion dialog with its default button opens no browser."""
    return re.sub(rb"(index\.html,&View the Lumivane documentation\?,)on", rb"\1off", script)


def service_state(pfx, name):
    """A service's state in the prefix's running session (svcstate.exe): "4" running,
    "1" stopped, "none" when there is no such service."""
    out = "C:\\svcstate.txt"
    r = pfx.run(win_file("svcstate.exe"), args=[out, name], check=False, name="svcstate")
    assert r.exit_code == 0, "svcstate: exit %r\n%s" % (r.exit_code, r.log_text())
    return pfx.read(out).decode("ascii")


def uninstall_entry(reg, before=None):
    """The Add/Remove Programs key of an installation: the first entry whose UninstallString
    opens an uninstall script (Uninst.orv), or with a snapshot before, the first entry with
    an UninstallString that was not there before. None when there is none."""
    for n in reg.subkeys(UNINSTALL_ROOT):
        key = UNINSTALL_ROOT + "\\" + n
        command = reg.value(key, "UninstallString")
        if not command:
            continue
        if before is None:
            if command.lower().endswith("uninst.orv"):
                return key
        elif before.registry.get(("HKLM", key[len("HKLM\\"):].lower())) is None:
            return key
    return None


def install_then_uninstall(pfx, setup, install, uninstall, key=None, uninstaller=None, **run):
    """Installs with the scenario install, then runs the UninstallString of the installation's
    Add/Remove Programs entry (key, or the one uninstall_entry finds) with the scenario
    uninstall; uninstaller: a host file put in place of the shared uninstaller between the
    two. Further arguments go to both runs (env, fault, check, shots, timeout ...).
    Returns (install result, the command, uninstall result); the command is None (and no
    uninstallation runs) when the installation made no entry."""
    first = pfx.run(setup, scenario=install, name="install", **run)
    if uninstaller:
        pfx.copy_in(uninstaller, SHARED_UNINSTALLER)
    reg = pfx.registry()
    key = key or uninstall_entry(reg)
    command = reg.value(key, "UninstallString") if key else None
    if not command:
        return first, None, None
    second = pfx.run(cmdline=command, scenario=uninstall, name="uninstall", **run)
    return first, command, second
