"""The uninstaller deletes only what an installation can have written: lines that no
installation writes (relative paths, key lines naming a root, empty or path-like driver
names) are refused and reported like failed removals, and the run goes on with the rest.
A driver service that does not stop is still marked for deletion before the restart is
asked for.

Scripts are written by hand, as in test_uninstall.py, whose helpers are used here.
"""
import harness as h
import test_uninstall as u



def delete_request(pfx, name=u.DRIVER):
    """What the service manager answers a request to delete the service: "marked" when it
    was marked for deletion before, "deleted" when this request marked it, "none"."""
    out = "C:\\svcdelete.txt"
    r = pfx.run(h.win_file("svcdelete.exe"), args=[out, name], check=False, name="svcdelete")
    assert r.exit_code == 0, "svcdelete: exit %r\n%s" % (r.exit_code, r.log_text())
    return pfx.read(out).decode("ascii")


def report(*lines):
    return "".join(line + "\r\n" for line in lines)


def test_each_bad_line_is_reported_and_everything_else_removed(case):
    case.need(h.win_file("svcstate.exe"))
    pfx = case.prefix("nt40")
    files = u.product_files(pfx)
    u.add_reg_key(pfx, "HKLM", u.KEY)
    u.add_reg_key(pfx, "HKCU", u.USER_KEY)
    u.add_driver_service(pfx, start=3)
    bad_paths = ["README.TXT", "docs\\index.html", "\\Orv Test\\Lumivane\\README.TXT", "C:Orv Test",
                 "\\\\.\\C:\\Orv Test", "\\\\./C:\\Orv Test\\", "\\\\?/C:/Orv Test"]
    # The good lines come after the bad ones in every section: the run goes on. An empty
    # file line names nothing and is passed over without a word.
    lines = [u.COMPANY, u.APP, u.VERSION] + bad_paths[:1] + [""] + bad_paths[1:] + files + [
        ".",
        "HKLM", "",
        "HKCU", "\\",
        "HKLM", "Software\\",
        "HKLM", u.KEY,
        "HKCU", u.USER_KEY,
        ".",
        "", "..\\..\\win", "orv/test", u.DRIVER,
        "."]
    u.write_script(pfx, lines)
    expected = report(*(["Could not remove " + p for p in bad_paths] +
                        ["Could not remove registry key HKLM", "Could not remove registry key HKCU",
                         "Could not remove registry key HKLM"] +
                        ["Could not remove ", "Could not remove ..\\..\\win", "Could not remove orv/test"]))
    r = u.run_uninstall(pfx, case, u.confirm() + u.box(u.APP, expected) + u.box(u.APP, u.COMPLETE) + "end\n")
    assert r.exit_code == 0, r.exit_code
    u.assert_removed(pfx, files)
    reg = pfx.registry()
    assert reg.key("HKLM\\" + u.KEY) is None, "the HKLM key is still there"
    assert reg.key("HKCU\\" + u.USER_KEY) is None, "the HKCU key is still there"
    # The roots' trees and the services' keys are all still there.
    for key in ("HKLM\\Software", "HKCU\\Software", "HKLM\\System\\CurrentControlSet\\Services"):
        assert len(reg.subkeys(key)) > 1, "%s holds %r" % (key, reg.subkeys(key))
    assert not pfx.exists(u.DRIVER_FILE)
    assert h.service_state(pfx, u.DRIVER) == u.NO_SERVICE


def test_empty_driver_line_on_windows_98_leaves_the_services_key(case):
    # On the Windows 95 family RegDeleteKeyA takes a whole tree: "Services\" + an empty name
    # would have taken every service's key.
    pfx = case.prefix("win98")
    u.write_script(pfx, [u.COMPANY, u.APP, u.VERSION, u.SCRIPT, ".", ".", "", "."])
    r = u.run_uninstall(pfx, case, u.confirm() + u.box(u.APP, report("Could not remove ")) +
                        u.box(u.APP, u.COMPLETE) + "end\n")
    assert r.exit_code == 0, r.exit_code
    reg = pfx.registry()
    services = reg.subkeys("HKLM\\System\\CurrentControlSet\\Services")
    assert len(services) > 1, "the services' keys: %r" % services


@h.timeout(1200)
def test_driver_that_will_not_stop_is_marked_for_deletion(case):
    case.need(h.win_file("svcstate.exe"))
    case.need(h.win_file("svcdelete.exe"))
    pfx = case.prefix("nt40")
    u.add_driver_service(pfx, start=2)
    u.driver_script(pfx)
    assert h.service_state(pfx, u.DRIVER) == u.RUNNING
    # The second control is the stop request, refused. The file of the driver that still
    # runs cannot be deleted either: it is reported.
    message = report("Could not remove C:\\windows\\System32\\Drivers\\orvtest.sys")
    r = u.run_uninstall(pfx, case, u.confirm() + u.box(u.APP, message) + u.box(u.APP, u.COMPLETE + u.RESTART) +
                        "end\n", ft=True, fault="ControlService:2")
    assert r.exit_code == 0, r.exit_code
    # Still running (Wine keeps it so until it stops), but marked: the restart takes it.
    answer = delete_request(pfx)
    assert answer in ("marked", "none"), "asked to delete the service: %r, expected it marked already" % answer
