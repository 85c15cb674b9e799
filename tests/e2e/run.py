#!/usr/bin/env python3
"""Runner of the end-to-end tests (called by CTest; see harness/__init__.py for the user guide).

  run.py FILE FUNC     run one test function of a test file
  run.py --list FILE   print "FUNC TIMEOUT" for every test function (read from the source)
  run.py --setup       start Xvfb on a free display and make the default template prefix
  run.py --cleanup     stop Xvfb and every wineserver of the test prefixes

Exit codes: 0 passed, 1 failed, 77 skipped (a prerequisite is not built).
"""
import ast
import glob
import importlib.util
import os
import sys
import time
import traceback

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
# The cases import each other (the flows of one area reused by another).
sys.path.insert(0, os.path.join(HERE, "cases"))
import harness  # noqa: E402

SKIPPED = 77


def list_tests(path):
    tree = ast.parse(open(path).read(), path)
    for node in tree.body:
        if isinstance(node, ast.FunctionDef) and node.name.startswith("test_"):
            seconds = harness.DEFAULT_TIMEOUT
            for d in node.decorator_list:
                if isinstance(d, ast.Call) and getattr(d.func, "attr", getattr(d.func, "id", "")) == "timeout":
                    seconds = int(ast.literal_eval(d.args[0]))
            print(node.name, seconds)


# Kept here for the scripts that call them as run.NAME.
start_xvfb = harness.start_xvfb
stop_xvfb = harness.stop_xvfb


def setup():
    display = start_xvfb()
    if not display:
        print("no free X display for Xvfb", file=sys.stderr)
        return 1
    t0 = time.time()
    tpl = harness.make_template("default")
    print("Xvfb on %s; template prefix %s ready after %.1f s" % (display, tpl, time.time() - t0))
    log = tpl + ".log"
    if os.path.exists(log):
        sys.stdout.write(open(log).read()[-2000:])
    return 0


def cleanup():
    d = harness.e2e_dir()
    for sysreg in glob.glob(os.path.join(d, "work", "*", "*", "system.reg")):
        harness.stop_wineserver(os.path.dirname(sysreg), wait=False)
    stop_xvfb(os.path.join(d, "xvfb.json"))
    return 0


def run_test(path, func):
    name = "%s.%s" % (os.path.splitext(os.path.basename(path))[0][len("test_"):], func[len("test_"):])
    spec = importlib.util.spec_from_file_location(os.path.splitext(os.path.basename(path))[0], path)
    mod = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(mod)
    case = harness.Case(name)
    passed = False
    t0 = time.time()
    try:
        getattr(mod, func)(case)
        passed = True
        status = 0
    except harness.Skip as e:
        print("SKIPPED: %s" % e)
        passed = True
        status = SKIPPED
    except BaseException:
        traceback.print_exc()
        status = 1
    if not passed:
        for r in case.results:
            print(r.log_text())
        print("work directory kept: %s" % case.dir)
    if not case.finish(passed) and status != 1:
        status = 1
        print("work directory kept: %s" % case.dir)
    print("%s %s in %.1f s" % (name, {0: "passed", 1: "FAILED", SKIPPED: "skipped"}[status], time.time() - t0))
    return status


def main(argv):
    if len(argv) == 2 and argv[1] == "--setup":
        return setup()
    if len(argv) == 2 and argv[1] == "--cleanup":
        return cleanup()
    if len(argv) == 3 and argv[1] == "--list":
        list_tests(argv[2])
        return 0
    if len(argv) == 3:
        return run_test(os.path.abspath(argv[1]), argv[2])
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
