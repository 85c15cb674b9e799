"""The worker's fault guard: a fault inside the install sequence, offered to the platform's
last-chance handling, ends the sequence with the result -1; the worker then closes the
uninstall script and rolls the installation back. The prefixes have no just-in-time
debugger (see the harness's templates), as Windows without one."""
import harness as h

from test_spine import CREATE_QUESTION, SETUP_NAME, UNINSTALLER, box, confirm, folder_dialog, header_lines, \
    installer, licence, script_bytes

AEDEBUG = "HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\AeDebug"
# The ninth step boundary of the sequence comes right after the uninstall script was created.
AFTER_SCRIPT = "SequenceFault:9"


def to_the_script(directory):
    return confirm() + licence() + folder_dialog(entry=directory) + box(SETUP_NAME, CREATE_QUESTION, 1)


def test_fault_after_the_script_is_rolled_back(case):
    setup = installer(case)
    pfx = case.prefix()
    r = pfx.run(setup, scenario=to_the_script("C:\\New") + "end\n", fault=AFTER_SCRIPT)
    assert r.exit_code == 0, "expected exit code 0, got %r" % r.exit_code
    # The roll-back's uninstaller ran (quiet) and took the script out, and with it the
    # directory that the installation made and recorded; its own copy in the Windows
    # directory stays.
    # A roll-back that starts and ends between two of the driver's looks at the process list
    # is not seen; where it is seen it ended with 0. What it left is judged once the whole
    # session has ended.
    assert all(c.get("code") == 0 for c in r.children), "expected the roll-back to end with 0, got %r" % r.children
    pfx.flush()
    assert not pfx.exists("C:\\New"), "expected C:\\New gone, got %r" % pfx.tree("C:\\New")
    assert pfx.exists(UNINSTALLER)


def test_fault_that_the_user_declines_to_debug_counts_as_failure(case):
    # With "Auto" 0 the last-chance handling asks first; "No" ends the faulting code.
    if h.arch() != "win32":
        raise h.Skip("the 64-bit guard is a last-chance filter: it answers before the question")
    setup = installer(case)
    pfx = case.prefix()
    assert pfx.wine(["reg", "add", AEDEBUG, "/v", "Auto", "/d", "0", "/f"]) == 0
    steps = to_the_script("C:\\New") + 'expect caption="Exception raised" text~="Do you wish to debug it?"\npress 7\nend\n'
    # ShellExecuteA:1 keeps the roll-back from starting, so the closed script can be read.
    r = pfx.run(setup, scenario=steps, fault=AFTER_SCRIPT + ",ShellExecuteA:1")
    assert r.exit_code == 0, "expected exit code 0, got %r" % r.exit_code
    want = script_bytes(header_lines("C:\\New") + ["C:\\New"])
    got = pfx.uninstall_script("C:\\New\\Uninst.orv")
    assert got == want, "expected:\n%r\ngot:\n%r" % (want, got)
