"""The fault-injection seam: ORV_FAULT=Operation:N makes the Nth call of an operation fail in
the test builds, and production builds ignore it."""
import harness as h

SCRIPT = b"Orv Test Works\r\nSeam Widget\r\n2.5\r\n.\r\n.\r\n.\r\n"
SCRIPT_PATH = "C:\\x\\Uninst.orv"


def test_seam_program(case):
    ft = case.need(h.win_file("seam_ft.exe"))
    prod = case.need(h.win_file("seam.exe"))
    pfx = case.prefix()
    for program, fault, text, code in (
            (ft, "CreateFileA:2", "open 1: ok, open 2: error 5", 1),
            (ft, "CreateFileA:1+", "open 1: error 5, open 2: error 5", 2),
            (ft, "ReadFile:1+", "open 1: ok, open 2: ok", 0),
            (prod, "CreateFileA:1+", "open 1: ok, open 2: ok", 0)):
        r = pfx.run(program, fault=fault, scenario='''
            expect caption="Seam" text="%s"
            press 1
        ''' % text)
        assert r.exit_code == code, "%s with %s: exit code %r, expected %d" % (program, fault, r.exit_code, code)


def test_uninstaller_open_fails_on_demand(case):
    ft = case.need(h.win_file("uninstall_ft.exe"))
    prod = case.need(h.win_file("uninstall.exe"))
    pfx = case.prefix()
    pfx.write(SCRIPT_PATH, SCRIPT)
    r = pfx.run(ft, [SCRIPT_PATH], fault="CreateFileA:1", scenario='''
        expect caption="Orv Uninstall" text=%s
        press 1
        end
    ''' % h.quote("Error: could not open the uninstall file:\r\n" + SCRIPT_PATH))
    assert r.exit_code == -1, "exit code: got %r" % r.exit_code
    assert pfx.read(SCRIPT_PATH) == SCRIPT, "the script was touched"
    # The production build opens the same script under the same environment and asks.
    r = pfx.run(prod, [SCRIPT_PATH], fault="CreateFileA:1", scenario='''
        expect caption="Orv Test Works" text="Are you sure that you want to uninstall Seam Widget 2.5?"
        press 2
        end
    ''')
    assert r.exit_code == 0, "exit code: got %r" % r.exit_code
    assert pfx.read(SCRIPT_PATH) == SCRIPT, "declining removed something"
