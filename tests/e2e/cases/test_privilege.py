"""An installation directory that only administrators can change, on the NT family.

Wine accepts a security descriptor and keeps none of it; what it reports instead is made up
from the Unix mode bits (an Everyone entry with write rights when others may write). So the
descriptor asked for at each created level is read from the test build's log
(ORV_SECURITY_LOG), and a directory or script that others can change is made with
chmod o+w on the Unix side of the prefix. On the Windows 95 family nothing of this applies.
"""
import os
import struct

import harness as h
import test_spine as s
import test_uninstall as u

NT_SETTINGS = ("nt40", "win2k", "default")
CHANGEABLE_DIR = "This directory can be changed by users who are not administrators. Please choose another."
CHANGEABLE_SCRIPT = "This uninstall file can be changed by users who are not administrators. Nothing was removed."
REFUSED = 7
LOG = "C:\\security.log"


def sid(text):
    parts = [int(p) for p in text.split("-")[1:]]
    return bytes([parts[0], len(parts) - 2, 0, 0, 0, 0, 0, parts[1]]) + b"".join(
        struct.pack("<I", p) for p in parts[2:])


def descriptor(control, owner, aces):
    """A self-relative descriptor: header, owner, then the list when aces is not None."""
    body = sid(owner)
    dacl_at = 0
    if aces is not None:
        dacl_at = 20 + len(body)
        entries = b"".join(struct.pack("<BBHI", 0, 3, 8 + len(sid(t)), mask) + sid(t) for mask, t in aces)
        body += struct.pack("<BBHHH", 2, 0, 8 + len(entries), len(aces), 0) + entries
    return struct.pack("<BBHIIII", 1, 0, control, 20, 0, 0, dacl_at) + body


ADMINS, SYSTEM, USERS = "S-1-5-32-544", "S-1-5-18", "S-1-5-32-545"
# Owner Administrators; protected (0x1000), list present (0x4), self-relative (0x8000).
PROTECTED = descriptor(0x9004, ADMINS, [(0x1F01FF, ADMINS), (0x1F01FF, SYSTEM), (0x1200A9, USERS)]).hex()
INHERITING = descriptor(0x8000, ADMINS, None).hex()


def logged(pfx):
    if not pfx.exists(LOG):
        return []
    return [tuple(line.split("\t")) for line in pfx.read(LOG).decode("cp1252").split("\r\n") if line]


def to_directory_check(entry):
    return s.confirm() + s.licence() + s.folder_dialog(entry=entry)


@h.timeout(1800)
def test_created_levels_ask_for_the_protected_descriptor(case):
    setup = s.installer(case)
    for version in NT_SETTINGS + ("win98",):
        pfx = case.prefix(version)
        steps = s.confirm() + s.licence() + s.folder_dialog(entry="C:\\Orv New\\Lumivane\\bin")
        steps += s.box(s.SETUP_NAME, s.CREATE_QUESTION, 1) + s.internal_error(36) + "end\n"
        r = pfx.run(setup, scenario=steps, fault="ShellExecuteA:1", env={"ORV_SECURITY_LOG": LOG}, name=version)
        assert r.exit_code == 0, (version, r.exit_code)
        if version == "win98":
            want = [("C:\\Orv New", "-"), ("C:\\Orv New\\Lumivane", "-"), ("C:\\Orv New\\Lumivane\\bin", "-")]
        else:
            # The outermost created level is protected; the levels inside inherit its list.
            want = [("C:\\Orv New", PROTECTED), ("C:\\Orv New\\Lumivane", INHERITING),
                    ("C:\\Orv New\\Lumivane\\bin", INHERITING)]
        assert logged(pfx) == want, "%s: expected %r\ngot %r" % (version, want, logged(pfx))
        want_script = s.script_bytes(s.header_lines("C:\\Orv New\\Lumivane\\bin") + [
            "C:\\Orv New\\Lumivane\\bin", "C:\\Orv New\\Lumivane", "C:\\Orv New"])
        got = pfx.uninstall_script("C:\\Orv New\\Lumivane\\bin\\Uninst.orv")
        assert got == want_script, "%s: %r" % (version, got)


@h.timeout(1800)
def test_existing_directory_others_can_change_is_refused(case):
    setup = s.installer(case)
    for version in NT_SETTINGS + ("win98",):
        pfx = case.prefix(version)
        os.makedirs(pfx.host("C:\\Shared\\Lumivane"))
        os.chmod(pfx.host("C:\\Shared\\Lumivane"), 0o777)
        os.makedirs(pfx.host("C:\\Mine\\Lumivane"))
        os.chmod(pfx.host("C:\\Mine\\Lumivane"), 0o755)
        steps = to_directory_check("C:\\Shared\\Lumivane")
        if version != "win98":
            # The message, then the dialog again with the entry kept; a directory only its
            # owner may change is accepted as before.
            steps += s.box(s.APP, CHANGEABLE_DIR) + s.folder_dialog(shown="C:\\Shared\\Lumivane\\",
                                                                    entry="C:\\Mine\\Lumivane")
        steps += s.internal_error(36) + "end\n"
        r = pfx.run(setup, scenario=steps, fault="ShellExecuteA:1", name=version)
        assert r.exit_code == 0, (version, r.exit_code)
        used = "C:\\Shared\\Lumivane" if version == "win98" else "C:\\Mine\\Lumivane"
        assert pfx.exists(used + "\\Uninst.orv"), version
        if version != "win98":
            assert not pfx.exists("C:\\Shared\\Lumivane\\Uninst.orv"), version


@h.timeout(1800)
def test_carry_over_takes_nothing_from_outside(case):
    setup = s.installer(case)
    for version in ("nt40", "win2k", "default", "win98"):
        pfx = case.prefix(version)
        os.makedirs(pfx.host("C:\\windows\\x"))
        os.makedirs(pfx.host(s.INSTALL_DIR + "\\docs"))
        old = [s.COMPANY, s.APP, "1.0.1", s.SCRIPT_PATH, "C:\\windows\\x", s.INSTALL_DIR + "\\docs",
               s.INSTALL_DIR + "\\docs\\..\\..\\..\\..\\windows\\x", s.INSTALL_DIR, "C:\\Program Files\\Orv",
               "C:\\windows", "."]
        pfx.write(s.SCRIPT_PATH, s.script_bytes(old))
        steps = to_directory_check(s.INSTALL_DIR) + s.internal_error(36) + "end\n"
        r = pfx.run(setup, scenario=steps, fault="ShellExecuteA:1", name=version)
        assert r.exit_code == 0, (version, r.exit_code)
        inside = [s.INSTALL_DIR + "\\docs", s.INSTALL_DIR, "C:\\Program Files\\Orv"]
        if version == "win98":
            # Everything, in removal order (the line with ".." lies inside docs as text).
            carried = [old[4], old[6]] + inside + ["C:\\windows"]
        else:
            carried = inside
        want = s.script_bytes(s.header_lines() + carried)
        got = pfx.uninstall_script(s.SCRIPT_PATH)
        assert got == want, "%s: expected\n%r\ngot\n%r" % (version, want, got)


@h.timeout(1800)
def test_uninstaller_refuses_a_script_others_can_change(case):
    for version in NT_SETTINGS + ("win98",):
        for what in ("script", "directory"):
            pfx = case.prefix(version)
            files = u.product_files(pfx)
            u.write_script(pfx, u.full_script(files))
            os.chmod(pfx.host(u.SCRIPT if what == "script" else u.DIR), 0o777 if what == "directory" else 0o666)
            if version == "win98":
                r = u.run_uninstall(pfx, case, u.confirm(2) + "end\n", name=version + what)
                assert r.exit_code == 0, (version, r.exit_code)
                continue
            r = u.run_uninstall(pfx, case, u.box(u.APP, CHANGEABLE_SCRIPT) + "end\n", name=version + what)
            assert r.exit_code == REFUSED, (version, what, r.exit_code)
            # The quiet roll-back refuses the same way without a box.
            q = u.run_uninstall(pfx, case, "end\n", tail="-q " + u.SCRIPT, name=version + what + "-q")
            assert q.exit_code == REFUSED, (version, what, q.exit_code)
            assert not [d for d in q.dialogs if d.get("text") == CHANGEABLE_SCRIPT], q.dialogs
            for f in files:
                assert pfx.exists(f), "%s %s: %s was removed" % (version, what, f)
