"""Start-up failures of the installer that only a failing platform call can cause: the
window class that cannot be registered (internal error 109, the program ends with 109) and
the worker thread that cannot be started (internal error 110, the window stays without an
installation until it is closed)."""
import harness as h

from test_spine import APP, INSTALL_DIR, QUESTION, UNINSTALLER, installer, internal_error


def test_window_class_not_registered_is_109(case):
    setup = installer(case)
    pfx = case.prefix()
    r = pfx.run(setup, scenario=internal_error(109) + "end\n", fault="RegisterClassExA:1")
    assert r.exit_code == 109, "expected exit code 109, got %r" % r.exit_code
    box = [d for d in r.dialogs if d.get("text") == "Orv Install internal error 109"]
    assert box and box[-1].get("caption") == APP, "expected the box captioned %r, got %r" % (
        APP, [(d.get("caption"), d.get("text")) for d in r.dialogs])
    assert not pfx.exists(UNINSTALLER), "the uninstaller was deployed"


def test_worker_not_started_is_110_and_the_window_stays(case):
    closer = h.win_file("closer.exe")
    case.need(closer)
    setup = installer(case)
    pfx = case.prefix()
    r = pfx.run(setup, scenario=internal_error(110) + "leave\n", fault="CreateThread:1", name="installer")
    box = [d for d in r.dialogs if d.get("text") == "Orv Install internal error 110"]
    assert box and box[-1].get("caption") == APP, "expected the box captioned %r, got %r" % (
        APP, [(d.get("caption"), d.get("text")) for d in r.dialogs])
    # After the box the window is there without a worker: no question comes, and the
    # window takes the close request at once (closer: 1 = the window closed at once,
    # 2 = there was no window).
    c = pfx.run(closer, args=[APP], scenario="end\n", name="closer")
    assert c.exit_code == 1, "expected closer's exit code 1, got %r" % c.exit_code
    asked = [d for d in r.dialogs + c.dialogs if d.get("text") == QUESTION]
    assert not asked, "expected no confirmation question, got %r" % asked
    assert not pfx.exists(UNINSTALLER), "the uninstaller was deployed"
    assert not pfx.exists(INSTALL_DIR), "the installation directory was made"
