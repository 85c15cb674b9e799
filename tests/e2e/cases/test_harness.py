"""The harness itself: orvdrive drives message boxes and dialogs, records what it saw, follows
started processes, and fails on an unexpected window or a time-out; versioned prefixes
report their Windows version."""
import os

import harness as h


def prog(case):
    return case.need(h.win_file("harness.exe"))


def control(window, cid):
    found = [c for c in window["controls"] if c["id"] == cid]
    assert len(found) == 1, "control %#x: got %r" % (cid, window["controls"])
    return found[0]


def test_message_box(case):
    pfx = case.prefix()
    r = pfx.run(prog(case), ["box"], scenario=r'''
        expect caption="Harness" text="Hello from the harness\r\nsecond line"
        control 1 text="OK" class=Button enabled=1 visible=1
        control 2 text="Cancel"
        control 0xFFFF text~="second line"
        screenshot box
        press 2
        end
    ''')
    assert r.exit_code == 2, "exit code: got %r" % r.exit_code
    assert len(r.dialogs) == 1, "dialogs: got %r" % r.dialogs
    box = r.dialogs[0]
    assert box["caption"] == "Harness", box
    assert box["text"] == "Hello from the harness\r\nsecond line", box
    assert box["visible"] and box["enabled"], box
    ok, cancel, text = control(box, 1), control(box, 2), control(box, 0xFFFF)
    assert (ok["text"], ok["class"], ok["enabled"], ok["visible"]) == ("OK", "Button", True, True), ok
    assert cancel["text"] == "Cancel", cancel
    assert text["class"] == "Static" and text["text"] == box["text"], text
    shots = [f for f in os.listdir(os.path.dirname(case.artefact("x"))) if f.endswith("box.png")]
    assert len(shots) == 1, "screenshots: got %r" % shots
    with open(case.artefact(shots[0]), "rb") as f:
        assert f.read(8) == b"\x89PNG\r\n\x1a\n", "not a PNG"
    # The same box answered with OK gives the other exit code: the press really arrives.
    r = pfx.run(prog(case), ["box"], scenario='''
        expect caption="Harness"
        press 1
    ''')
    assert r.exit_code == 1, "exit code: got %r" % r.exit_code


def test_dialog_controls(case):
    pfx = case.prefix()
    r = pfx.run(prog(case), ["dialog"], scenario=r'''
        expect caption="Harness dialog"
        control 101 text="start" class=Edit
        control 102 checked=0
        control 103 items="alpha|beta|gamma" selected=-1
        type 101 "typed text"
        control 101 text="typed text"
        tick 102
        control 102 checked=1
        untick 102
        control 102 checked=0
        tick 102
        pick 103 "beta"
        control 104 text="beta"
        control 103 selected=1
        pick 103 2
        control 104 text="gamma"
        press 1
        expect caption="Result" text="edit=typed text check=1 list=gamma"
        press 1
        end
    ''')
    assert r.exit_code == 0, "exit code: got %r" % r.exit_code
    first = r.dialogs[0]
    assert first["caption"] == "Harness dialog", first
    lst = control(first, 103)
    assert lst["items"] == ["alpha", "beta", "gamma"], lst
    assert control(first, 102)["checked"] == 0, first
    assert control(first, 101)["text"] == "start", first
    assert [d["caption"] for d in r.dialogs] == ["Harness dialog", "Result"], r.dialogs


def test_failures(case):
    pfx = case.prefix()
    # A window other than the one expected.
    r = pfx.run(prog(case), ["two"], check=False, scenario='''
        expect text="second"
    ''')
    assert not r.ok and r.orvdrive_rc == 1, r
    assert "unexpected window" in r.reason and '"first"' in r.reason, r.reason
    assert r.exit_code == 0xDEAD, "the program is ended after a failure: got %r" % r.exit_code
    # A window while waiting for the end.
    r = pfx.run(prog(case), ["two"], check=False, scenario='''
        expect text="first"
        press 1
        end
    ''')
    assert not r.ok, r
    assert "unexpected window" in r.reason and '"second"' in r.reason, r.reason
    # Nothing appears in time.
    r = pfx.run(prog(case), ["wait", "600000"], check=False, scenario='''
        expect caption="Never" timeout=5
    ''')
    assert not r.ok and "time-out" in r.reason, r.reason
    assert r.dialogs == [], r.dialogs
    # The program ends without the window.
    r = pfx.run(prog(case), ["quiet"], check=False, scenario='''
        expect caption="Never"
    ''')
    assert not r.ok and "ended before the window" in r.reason, r.reason
    assert r.exit_code == 0, r.exit_code
    # A mistake in the scenario.
    r = pfx.run(prog(case), ["quiet"], check=False, scenario='''
        frobnicate 1
    ''')
    assert not r.ok and "unknown step" in r.reason, r.reason


def test_descendants(case):
    pfx = case.prefix()
    r = pfx.run(prog(case), ["child"], scenario='''
        expect caption="Harness" text~="Hello"
        press 1
        end
    ''')
    assert r.exit_code == 7, "main exit code: got %r" % r.exit_code
    assert [c["code"] for c in r.children] == [1], "children: got %r" % r.children
    assert r.dialogs[0]["pid"] != [e for e in r.events if e["event"] == "start"][0]["pid"], r.dialogs


@h.timeout(1200)
def test_versions(case):
    for version, text in (("win98", "platform 1 version 4.10"), ("nt40", "platform 2 version 4.0")):
        pfx = case.prefix(version)
        pfx.run(prog(case), ["version"], scenario='''
            expect caption="Version" text="%s"
            press 1
        ''' % text)


def test_product_installer(case):
    """A test product's installer is made from its parts and runs."""
    with open(os.path.join(h.source_dir(), "resources", "example", "SCRIPT"), "rb") as f:
        script = f.read().replace(b"Kestrel Lane Software", b"Harness Test Works")
    product = case.product(script=script, licence="Be kind.\r\n",
                           payload={"B.TXT": b"bee", "A.TXT": b"a", "docs\\img\\C.TXT": b"c"},
                           order=["B.TXT"], times={"A.TXT": 946684800})
    packed = product.pack()
    with open(os.path.join(packed, "FILELIST"), "rb") as f:
        lines = f.read().split(b"\r\n")
    # 2000-01-01 00:00:00 UTC is the FILETIME 01BF53EB 256D4000.
    assert [l.split(b",")[0] for l in lines if l] == [b"B.TXT", b"A.TXT", b"docs\\img\\C.TXT"], lines
    assert lines[1] == b"A.TXT,1.256D4000,01BF53EB", lines
    setup = product.build()
    import pe
    res = {n: v for (t, n, _), v in pe.load(setup).resources().items() if t == "FILES"}
    assert res["SCRIPT"] == script, "SCRIPT resource differs"
    assert res["LICENCE"] == b"Be kind.\r\n", res["LICENCE"]
    assert res["UNINSTALL"] == open(h.win_file("uninstall_ft.exe"), "rb").read(), "not the test uninstaller"
    bare = case.product(script=script, omit=["LICENCE", "UNINSTALL", "FILELIST", "DATA"]).build("bare.exe")
    assert sorted(n for (t, n, _) in pe.load(bare).resources() if t == "FILES") == ["SCRIPT"]
    pfx = case.prefix()
    pfx.run(setup, scenario='''
        expect caption="Harness Test Works" text="Are you sure you want to install Lumivane 1.0.2?"
        press 2
        end
    ''')
