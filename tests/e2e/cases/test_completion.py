"""The completion dialog: its options, their ticks, running them, and their failures."""
import re

import harness as h
import integration_flow as f

MARKER_STARTED = f.INSTALL_DIR + "\\bin\\marker.exe.started"
OTHER_STARTED = f.INSTALL_DIR + "\\bin\\other.exe.started"


def product(case, options, with_markers=False):
    payload = dict(f.DEFAULT_PAYLOAD)
    if with_markers:
        case.need(h.win_file("marker.exe"))
        payload["bin\\marker.exe"] = h.win_file("marker.exe")
        payload["bin\\other.exe"] = h.win_file("marker.exe")
    return f.installer(case, f.script(options=options), payload=payload)


def run(case, setup, steps, version="default"):
    pfx = case.prefix(version)
    r = pfx.run(setup, scenario=f.to_folder_dialog() + f.accept_folder() + steps)
    assert r.exit_code == 0, r.exit_code
    return pfx, r


def test_on_in_any_case_is_ticked_and_a_fourth_option_is_ignored(case):
    options = ["a.txt,&First,on", "b.txt,Second,ON", "c.txt,Third,On", "bin\\marker.exe,Fourth,on"]
    setup = product(case, options, with_markers=True)
    pfx, r = run(case, setup, """
        expect caption="Installation complete"
        control 1012 visible=1
        control 1009 visible=1 enabled=1 checked=1 text="&First"
        control 1010 visible=1 enabled=1 checked=1 text="Second"
        control 1011 visible=1 enabled=1 checked=1 text="Third"
        control 1015 visible=0
        control 1013 visible=0 checked=0
        untick 1009
        untick 1010
        untick 1011
        press 1
        end
    """)
    assert not pfx.exists(MARKER_STARTED), "the fourth option ran"


def test_off_empty_and_on_with_blank_are_unticked(case):
    options = ["a.txt,Off,off", "b.txt,Empty,", "c.txt,Blank after,on "]
    setup = product(case, options)
    run(case, setup, """
        expect caption="Installation complete"
        control 1009 visible=1 checked=0 text="Off"
        control 1010 visible=1 checked=0 text="Empty"
        control 1011 visible=1 checked=0 text="Blank after"
        press 1
        end
    """)


def test_invalid_first_line_leaves_first_box_hidden(case):
    options = ["a.txt,only one comma", "b.txt,Second,off"]
    setup = product(case, options)
    run(case, setup, """
        expect caption="Installation complete"
        control 1012 visible=1
        control 1009 visible=0
        control 1010 visible=1 enabled=1 checked=0 text="Second"
        control 1011 visible=0
        press 1
        end
    """)


def test_no_options_and_no_restart(case):
    setup = product(case, [])
    run(case, setup, """
        expect caption="Installation complete"
        control 1012 visible=0
        control 1009 visible=0
        control 1010 visible=0
        control 1011 visible=0
        control 1015 visible=0
        control 1013 visible=0 checked=0
        press 1
        end
    """)


def test_ok_runs_the_ticked_options_only(case):
    options = ["bin\\marker.exe,Run the &marker,on", "bin\\other.exe,Run the other,off"]
    setup = product(case, options, with_markers=True)
    pfx, r = run(case, setup, """
        expect caption="Installation complete"
        control 1009 checked=1
        control 1010 checked=0
        press 1
        wait-file "%s"
        end
    """ % MARKER_STARTED.replace("\\", "\\\\"))
    assert pfx.exists(MARKER_STARTED)
    assert not pfx.exists(OTHER_STARTED), "an unticked option ran"


def test_missing_file_gives_could_not_start_with_reason(case):
    options = ["missing.exe,Run the missing program,on", "bin\\marker.exe,Then the marker,on"]
    setup = product(case, options, with_markers=True)
    pfx, r = run(case, setup, """
        expect caption="Installation complete"
        press 1
        expect caption="Lumivane" text~="Could not start missing.exe ("
        press 1
        wait-file "%s"
        end
    """ % MARKER_STARTED.replace("\\", "\\\\"))
    boxes = [w for w in r.dialogs if (w.get("text") or "").startswith("Could not start ")]
    assert len(boxes) == 1, [w.get("text") for w in r.dialogs]
    text = boxes[0]["text"]
    m = re.match(r"^Could not start missing\.exe \((.+)\)$", text, re.S)
    assert m, "got %r" % text
    # The system's text for the failure, not a bare number.
    assert not m.group(1).strip().isdigit(), "got %r" % text
    # The options after a failed one are still run.
    assert pfx.exists(MARKER_STARTED)
