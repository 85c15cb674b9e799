"""The fault loop's sample for CI: the first call of every platform operation fails once
(scripts/fault-loop.sh runs every call). Each subject is its own test so that they run side
by side; each prints its table."""
import argparse

import harness as h
import fault_loop


def first_calls(subject):
    args = argparse.Namespace(first_only=True, ops=None, skip_ops=None, max_runs=None, max_calls=None, jobs=2)
    s = fault_loop.Subject(subject)
    counts, outcome, seconds = fault_loop.loop(s, args, print)
    text = fault_loop.table(subject, counts, outcome)
    print(text + "\n(%.0f s)" % seconds)
    assert counts, "the counting run counted no operation"
    assert len(outcome) == len(counts), "expected %d runs, got %d" % (len(counts), len(outcome))
    # Runs that a rule explains (a failed driver step is not rolled back) are listed in the
    # table but do not fail the test.
    assert not fault_loop.unexplained(outcome), "runs not clean:\n%s" % text


@h.timeout(1800)
def test_install_first_calls(case):
    first_calls("install")


@h.timeout(1800)
def test_driver_first_calls(case):
    first_calls("driver")


@h.timeout(1800)
def test_uninstall_first_calls(case):
    first_calls("uninstall")
