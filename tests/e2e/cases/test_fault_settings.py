"""The test builds' counting and local fault settings, which the fault loop stands on:
ORV_FAULT_COUNT counts every call of every operation (failed ones too) into a file per
process, and ORV_FAULT_LOCAL keeps the fault rules from the programs a test build starts."""
import glob
import os

import harness as h
import fault_loop
from test_fault_guard import AFTER_SCRIPT, to_the_script
from test_spine import installer

SEAM_BOX = 'expect caption="Seam" text="%s"\npress 1\nend\n'


def test_every_call_is_counted_per_process(case):
    ft = case.need(h.win_file("seam_ft.exe"))
    prod = case.need(h.win_file("seam.exe"))
    pfx = case.prefix()
    for name, program, fault, text in (
            ("plain", ft, None, "open 1: ok, open 2: ok"),
            ("failing", ft, "CreateFileA:1", "open 1: error 5, open 2: ok"),
            ("production", prod, None, "open 1: ok, open 2: ok")):
        d = os.path.join(case.dir, "counts-" + name)
        os.makedirs(d)
        env = {"ORV_FAULT_COUNT": pfx.win(os.path.join(d, "count"))}
        pfx.run(program, scenario=SEAM_BOX % text, fault=fault, env=env, name=name)
        files = glob.glob(os.path.join(d, "count.*"))
        if program == prod:
            assert files == [], "the production build wrote %r" % files
            continue
        assert len(files) == 1, "expected one counting file, got %r" % files
        path, counts = fault_loop.read_counts(files[0])
        assert path.lower().endswith("\\seam_ft.exe"), "expected the program's path, got %r" % path
        assert counts == {"CreateFileA": 2}, "expected {'CreateFileA': 2}, got %r" % counts


def test_local_rules_spare_the_roll_back(case):
    # The roll-back's uninstaller removes C:\New\Uninst.orv with the first DeleteFileA of
    # its own: failed when the rule reaches it too, done when the rule is local.
    setup = installer(case)
    for local in (False, True):
        pfx = case.prefix()
        env = {"ORV_FAULT_LOCAL": "1"} if local else {}
        r = pfx.run(setup, scenario=to_the_script("C:\\New") + "end\n", fault=AFTER_SCRIPT + ",DeleteFileA:1",
                    env=env, name="local" if local else "inherited")
        # A roll-back too quick for the driver's looks at the process list is not seen:
        # where seen it ended with 0; what it left is judged once the session has ended.
        assert all(c.get("code") == 0 for c in r.children), "roll-back: %r" % r.children
        pfx.flush()
        left = pfx.exists("C:\\New\\Uninst.orv")
        assert left != local, "local=%s: expected the script %s, got %s" % (
            local, "gone" if local else "left", "left" if left else "gone")
