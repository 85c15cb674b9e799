"""The example product's installer under Wine: its window and its first question."""
import harness as h


def test_first_window_and_cancel(case):
    setup = case.need(h.win_file("install.exe"))
    pfx = case.prefix()
    r = pfx.run(setup, scenario='''
        expect caption="Kestrel Lane Software" text="Are you sure you want to install Lumivane 1.0.2?"
        control 1 text="OK"
        control 2 text="Cancel"
        press 2
        end
    ''')
    assert r.exit_code == 0, "a Cancel at the question ends with 0: got %r" % r.exit_code
    mains = [w for w in r.windows if w["class"] == "Lumivane"]
    assert len(mains) == 1, "main window: got %r" % [(w["class"], w["caption"]) for w in r.windows]
    assert mains[0]["caption"] == "Kestrel Lane Software - Lumivane 1.0.2 setup", mains[0]
    assert not pfx.exists("C:\\Program Files\\Orv\\Lumivane"), "Cancel left an installation directory"
