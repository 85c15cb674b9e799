"""The fault loop's sample for CI: the first call of every platform operation fails once
(scripts/fault-loop.sh runs every call). Each subject is its own test so that they run side
by side; each prints its table. Each run costs some 10 to 30 s of Wine: the installation's
36 operations take several minutes."""
import argparse

import harness as h
import fault_loop


def first_calls(subject, ops=None, jobs=2):
    args = argparse.Namespace(first_only=True, ops=ops, skip_ops=None, max_runs=None, max_calls=None, sample=0,
                              jobs=jobs)
    s = fault_loop.Subject(subject)
    counts, outcome, seconds = fault_loop.loop(s, args, print)
    text = fault_loop.table(subject, counts, outcome)
    print(text + "\n(%.0f s)" % seconds)
    assert counts, "the counting run counted no operation"
    want = len(counts) if ops is None else len([o for o in counts if o in ops.split(",")])
    assert len(outcome) == want, "expected %d runs, got %d" % (want, len(outcome))
    # Runs that a rule explains (the uninstaller's question that could not be shown) are
    # listed in the table but do not fail the test.
    assert not fault_loop.unexplained(outcome), "runs not clean:\n%s" % text


@h.timeout(1800)
def test_install_first_calls(case):
    first_calls("install", jobs=3)


@h.timeout(1800)
def test_driver_first_calls(case):
    # The driver step's operations; the other first calls are the installation's above.
    first_calls("driver", ops=",".join(fault_loop.DRIVER_OPS))


@h.timeout(1800)
def test_uninstall_first_calls(case):
    first_calls("uninstall")
