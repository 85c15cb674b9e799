"""Registry-item line and drivers, with the project's test driver (orvtest.sys, version
1.0.0.1, and orvtest2.sys, the same driver as version 1.0.0.2)."""
import os
import subprocess
import time

import harness as h
import integration_flow as f

SERVICE_KEY = "HKLM\\System\\CurrentControlSet\\Services\\orvtest"
DRIVER_FILE = "C:\\windows\\system32\\drivers\\orvtest.sys"
DISPLAY = "Orv test driver"
RUNNING, STOPPED = "4", "1"


def driver_product(case, drivers, driver="orvtest.sys", registry=(), options=(), extra=None, **kw):
    case.need(h.win_file(driver))
    payload = dict(f.DEFAULT_PAYLOAD)
    payload["drivers\\orvtest.sys"] = h.win_file(driver)
    payload.update(extra or {})
    return f.installer(case, f.script(drivers=drivers, registry=registry, options=options, **kw), payload=payload)


class SessionKeeper:
    """Keeps the prefix's Wine session alive between two runs, so that a driver service
    started by the first run is still running when the second looks (a new session would
    leave it to Wine's own auto-start, whose timing the test does not control)."""

    def __init__(self, case, pfx):
        case.need(h.win_file("holdopen.exe"))
        self.pfx = pfx
        self.path = "C:\\session.keep"
        pfx.write(self.path, b"keep")
        self.log = open(os.path.join(str(case.dir), "keeper.out"), "wb")
        self.proc = subprocess.Popen(h.wine_cmd() + [h.win_file("holdopen.exe"), self.path], env=pfx.env(),
                                     stdin=subprocess.DEVNULL, stdout=self.log, stderr=self.log)
        deadline = time.time() + 300
        while not pfx.exists(self.path + ".held"):
            assert self.proc.poll() is None, "holdopen ended with %r" % self.proc.returncode
            assert time.time() < deadline, "holdopen did not start"
            time.sleep(0.2)

    def release(self):
        self.pfx.write(self.path + ".release", b"")
        try:
            self.proc.wait(timeout=120)
        finally:
            self.log.close()


def read_bytes(path):
    with open(path, "rb") as fh:
        return fh.read()


def check_nt_install(case, version, code):
    setup = driver_product(case, ["%s,orvtest,drivers\\orvtest.sys,%s" % (code, DISPLAY)])
    case.need(h.win_file("svcstate.exe"))
    pfx = case.prefix(version)
    assert h.service_state(pfx, "orvtest") == "none"
    r = pfx.run(setup, scenario=f.to_folder_dialog() + f.accept_folder() + f.finish())
    assert r.exit_code == 0, r.exit_code
    assert h.service_state(pfx, "orvtest") == RUNNING
    assert pfx.read(DRIVER_FILE) == read_bytes(h.win_file("orvtest.sys"))
    header, secs = f.sections(f.uninstall_lines(pfx))
    assert secs[1:] == [["HKLM", f.UNINSTALL_KEY[len("HKLM\\"):]], ["orvtest"]], secs[1:]
    key = pfx.registry().key(SERVICE_KEY)
    assert key is not None, "no service key"
    assert (key.get("Type"), key.get("Start"), key.get("ErrorControl")) == (1, 2, 1), key
    # The display name of the install script survives the creation of the service.
    assert key.get("DisplayName") == DISPLAY, key


@h.timeout(1200)
def test_nt40_installs_creates_and_starts_the_service(case):
    check_nt_install(case, "nt40", "NT")


@h.timeout(1200)
def test_win2k_installs_creates_and_starts_the_service(case):
    check_nt_install(case, "win2k", "W2")


@h.timeout(1500)
def test_reinstall_of_same_version_stops_and_starts_nothing(case):
    setup = driver_product(case, ["NT,orvtest,drivers\\orvtest.sys," + DISPLAY])
    case.need(h.win_file("svcstate.exe"))
    pfx = case.prefix("nt40")
    keeper = SessionKeeper(case, pfx)
    try:
        pfx.run(setup, scenario=f.to_folder_dialog() + f.accept_folder() + f.finish())
        assert h.service_state(pfx, "orvtest") == RUNNING
        # Any start, or any control beyond the two interrogations, would fail and show an
        # internal error: the second installation only looks.
        r = pfx.run(setup, scenario=f.to_folder_dialog_again() + f.accept_folder() + f.finish(),
                    fault="StartServiceA:1+,ControlService:3+", name="again")
        assert r.exit_code == 0, r.exit_code
        assert h.service_state(pfx, "orvtest") == RUNNING
    finally:
        keeper.release()


@h.timeout(1500)
def test_newer_driver_file_replaces_the_installed_one_and_runs(case):
    # Between the two runs the Wine session ends; whether Wine's auto-start has the old
    # driver running again when the second installation looks is Wine's business. Either
    # way the newer file must be in place and the service running afterwards. (Wine
    # refuses to overwrite a running driver's file with a sharing violation, so a stop of a
    # running service after the copy cannot be staged under Wine.)
    first = driver_product(case, ["NT,orvtest,drivers\\orvtest.sys," + DISPLAY])
    newer = driver_product(case, ["NT,orvtest,drivers\\orvtest.sys," + DISPLAY], driver="orvtest2.sys")
    case.need(h.win_file("svcstate.exe"))
    pfx = case.prefix("nt40")
    pfx.run(first, scenario=f.to_folder_dialog() + f.accept_folder() + f.finish())
    assert h.service_state(pfx, "orvtest") == RUNNING
    r = pfx.run(newer, scenario=f.to_folder_dialog_again() + f.accept_folder() + f.finish(), name="newer")
    assert r.exit_code == 0, r.exit_code
    assert pfx.read(DRIVER_FILE) == read_bytes(h.win_file("orvtest2.sys"))
    assert h.service_state(pfx, "orvtest") == RUNNING


@h.timeout(900)
def test_win98_writes_image_path_and_offers_restart(case):
    case.need(h.win_file("marker.exe"))
    options = ["bin\\marker.exe,Run the &marker,on"]
    setup = driver_product(case, ["98,orvtest,drivers\\orvtest.sys," + DISPLAY], options=options,
                           extra={"bin\\marker.exe": h.win_file("marker.exe")})
    pfx = case.prefix("win98")
    mark = os.path.join(str(case.dir), "restart.mark")
    r = pfx.run(setup, restart_mark=pfx.win(mark), scenario=f.to_folder_dialog() + f.accept_folder() + """
        expect caption="Installation complete"
        control 1015 visible=1
        control 1013 visible=1 enabled=1 checked=1
        control 1012 visible=1
        control 1009 visible=1 enabled=0 checked=1
        untick 1013
        control 1009 enabled=1
        tick 1013
        control 1009 enabled=0
        press 1
        end
    """)
    assert r.exit_code == 0, r.exit_code
    assert os.path.exists(mark), "the restart was not requested"
    with open(mark, "rb") as fh:
        flags = fh.read().strip()
    assert flags == b"2", "restart flags %r" % flags
    # A restart opens none of the options.
    assert not pfx.exists(f.INSTALL_DIR + "\\bin\\marker.exe.started")
    assert pfx.read(DRIVER_FILE) == read_bytes(h.win_file("orvtest.sys"))
    header, secs = f.sections(f.uninstall_lines(pfx))
    assert secs[2] == ["orvtest"], secs
    key = pfx.registry().key(SERVICE_KEY)
    assert key is not None, "no service key"
    assert key == {"Type": 1, "Start": 2, "ErrorControl": 1, "DisplayName": DISPLAY,
                   "ImagePath": "\\SystemRoot\\System32\\Drivers\\orvtest.sys"}, key


def test_win95_skips_every_driver_line(case):
    lines = ["98,orvtest,drivers\\orvtest.sys,A", "NT,orvtest,drivers\\orvtest.sys,B",
             "W2,orvtest,drivers\\orvtest.sys,C", "95,orvtest,drivers\\orvtest.sys,D"]
    setup = driver_product(case, lines)
    pfx = case.prefix("win95")
    r = pfx.run(setup, scenario=f.to_folder_dialog() + f.accept_folder() + """
        expect caption="Installation complete"
        control 1015 visible=0
        control 1013 visible=0 checked=0
        untick 1009
        press 1
        end
    """)
    assert r.exit_code == 0, r.exit_code
    assert not pfx.exists(DRIVER_FILE)
    header, secs = f.sections(f.uninstall_lines(pfx))
    assert secs[2] == [], secs
    assert pfx.registry().key(SERVICE_KEY) is None


def test_line_of_three_fields_is_skipped(case):
    setup = driver_product(case, ["NT,orvtest,drivers\\orvtest.sys", "NT,,orvtest,,drivers\\orvtest.sys"])
    pfx = case.prefix("nt40")
    r = pfx.run(setup, scenario=f.to_folder_dialog() + f.accept_folder() + f.finish())
    assert r.exit_code == 0, r.exit_code
    assert not pfx.exists(DRIVER_FILE)
    assert pfx.registry().key(SERVICE_KEY) is None


def test_registry_item_stops_with_30_before_any_driver(case):
    setup = driver_product(case, ["NT,orvtest,drivers\\orvtest.sys," + DISPLAY],
                           registry=["HKLM,Software\\Kestrel Lane"])
    pfx = case.prefix("nt40")
    r = pfx.run(setup, scenario=f.to_folder_dialog() + f.accept_folder() + f.internal_error(30) + "end\n")
    assert r.exit_code == 0, r.exit_code  # the window closes normally after a failure too
    assert not pfx.exists(DRIVER_FILE)
    # The roll-back took the installation away.
    assert not pfx.exists(f.INSTALL_DIR), pfx.tree("C:\\Program Files")


def test_failure_after_the_file_section_without_a_driver_leaves_the_script_as_it_was(case):
    # The registry item fails after the file section was closed and before any driver: the
    # file of the failed installation ends with the file section's "." and nothing else,
    # as the roll-back (kept from starting here) and any later reader must find it.
    setup = driver_product(case, ["NT,orvtest,drivers\\orvtest.sys," + DISPLAY],
                           registry=["HKLM,Software\\Kestrel Lane"])
    for version in ("nt40", "win98"):
        pfx = case.prefix(version)
        r = pfx.run(setup, scenario=f.to_folder_dialog() + f.accept_folder() + f.internal_error(30) + "end\n",
                    fault="ShellExecuteA:1", name="install-" + version)
        assert r.exit_code == 0, r.exit_code
        data = pfx.uninstall_script(f.INSTALL_DIR + "\\Uninst.orv")
        lines = data.split(b"\r\n")
        assert lines[-1] == b"" and lines[-2] == b"." and lines.count(b".") == 1, (version, data[-120:])
        # Before the "." stand the header and the file section of the files installed.
        header, secs = f.sections(f.uninstall_lines(pfx))
        assert len(secs) == 1 and f.INSTALL_DIR in secs[0], (version, secs)


def test_script_ending_before_registry_line_is_69(case):
    setup = driver_product(case, [], stop_after="items")
    pfx = case.prefix("nt40")
    r = pfx.run(setup, scenario=f.to_folder_dialog() + f.accept_folder() + f.internal_error(69) + "end\n")
    assert r.exit_code == 0, r.exit_code  # the window closes normally after a failure too


def test_script_ending_inside_driver_list_is_70(case):
    setup = driver_product(case, ["95,orvtest,drivers\\orvtest.sys," + DISPLAY], stop_after="drivers-open")
    pfx = case.prefix("nt40")
    r = pfx.run(setup, scenario=f.to_folder_dialog() + f.accept_folder() + f.internal_error(70) + "end\n")
    assert r.exit_code == 0, r.exit_code  # the window closes normally after a failure too


@h.timeout(1800)
def test_running_service_is_stopped_and_started_again_after_a_newer_file(case):
    # Wine will not let a running driver's own file be overwritten, so the running service
    # here is loaded from another file (registered with Wine's sc): the installer still
    # finds the service running after it copied a newer driver file, which is the case
    # that must stop it and start it again.
    setup = driver_product(case, ["NT,orvtest,drivers\\orvtest.sys," + DISPLAY], driver="orvtest2.sys")
    case.need(h.win_file("svcstate.exe"))
    pfx = case.prefix("nt40")
    running = "C:\\windows\\system32\\drivers\\orvtest_running.sys"
    pfx.copy_in(h.win_file("orvtest.sys"), running)
    keeper = SessionKeeper(case, pfx)
    try:
        assert pfx.wine(["sc", "create", "orvtest", "type=", "kernel", "start=", "demand",
                         "binpath=", running]) == 0
        assert pfx.wine(["sc", "start", "orvtest"]) == 0
        assert h.service_state(pfx, "orvtest") == RUNNING
        # A start request fails here on purpose: that it is made at all shows that the
        # service had been stopped after the copy, as it is only made for a service that is
        # not running. The roll-back, which would take the driver out, is kept from starting.
        r = pfx.run(setup, scenario=f.to_folder_dialog() + f.accept_folder() + f.internal_error(67) + "end\n",
                    fault="StartServiceA:1,ShellExecuteA:1")
        assert pfx.read(DRIVER_FILE) == read_bytes(h.win_file("orvtest2.sys"))
        assert h.service_state(pfx, "orvtest") == STOPPED
        # Again, running, with the installed copy gone: copied, stopped, started.
        assert pfx.wine(["sc", "start", "orvtest"]) == 0
        assert h.service_state(pfx, "orvtest") == RUNNING
        os.remove(pfx.host(DRIVER_FILE))
        # The first run's files are still there (no roll-back): the directory exists.
        r = pfx.run(setup, scenario=f.to_folder_dialog_again() + f.accept_folder() + f.finish(), name="again")
        assert r.exit_code == 0, r.exit_code
        assert pfx.read(DRIVER_FILE) == read_bytes(h.win_file("orvtest2.sys"))
        assert h.service_state(pfx, "orvtest") == RUNNING
    finally:
        keeper.release()


def check_own_bytes_despite_planted_source(case, version, code):
    # A file of higher version planted where the driver's source goes is kept as newer by
    # the file loop; the driver copied into the system is still the product's own.
    setup = driver_product(case, ["%s,orvtest,drivers\\orvtest.sys,%s" % (code, DISPLAY)])
    pfx = case.prefix(version)
    planted = read_bytes(case.need(h.win_file("orvtest2.sys")))
    pfx.write(f.INSTALL_DIR + "\\drivers\\orvtest.sys", planted, mtime=h.PAYLOAD_TIME)
    r = pfx.run(setup, scenario=f.to_folder_dialog_again() + f.accept_folder() + f.finish())
    assert r.exit_code == 0, r.exit_code
    assert pfx.read(f.INSTALL_DIR + "\\drivers\\orvtest.sys") == planted, "the newer file was not kept"
    assert pfx.read(DRIVER_FILE) == read_bytes(h.win_file("orvtest.sys")), "the planted file reached the system"


@h.timeout(1200)
def test_nt40_driver_bytes_come_from_the_payload(case):
    check_own_bytes_despite_planted_source(case, "nt40", "NT")


@h.timeout(1200)
def test_win2k_driver_bytes_come_from_the_payload(case):
    check_own_bytes_despite_planted_source(case, "win2k", "W2")


@h.timeout(1200)
def test_default_driver_bytes_come_from_the_payload(case):
    check_own_bytes_despite_planted_source(case, "default", "W2")
