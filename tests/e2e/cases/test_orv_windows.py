"""`orv` for Windows (orv.exe, 64-bit, built beside the Linux orv as build/orv.exe) run under
64-bit Wine: the same product folder and SOURCE_DATE_EPOCH give the same installer bytes as
the Linux orv, and the same mistake the same finding.

orv.exe is a 64-bit program, so these tests take 64-bit prefixes whatever the other tests
run: ORV_E2E_ARCH is set to win64 for this file's process (each test is a process of its
own) before the harness first asks for it."""
import os
import shutil
import subprocess

os.environ["ORV_E2E_ARCH"] = "win64"

import harness as h  # noqa: E402
import pe  # noqa: E402
import test_orv  # noqa: E402

h.arch.cache_clear()

EPOCH = "1234567890"


def orv_exe(case):
    return case.need(os.path.join(h.build_dir(), "orv.exe"))


def kit_32():
    """The shipped stub and uninstaller (32-bit, build/win), whatever the prefixes run."""
    return h.shipped_file("install_stub.exe"), h.shipped_file("uninstall.exe")


def run_exe(case, pfx, args, tag, env=None):
    """orv.exe ARGS under Wine, its stdout and stderr to files of their own (a pipe can be
    held open by the wineserver). Returns (exit code, stdout text, stderr text)."""
    out, err = (os.path.join(case.dir, "%s.%s" % (tag, s)) for s in ("out", "err"))
    with open(out, "wb") as o, open(err, "wb") as e:
        p = subprocess.Popen(h.wine_cmd() + [orv_exe(case)] + [os.fspath(a) for a in args],
                             env=pfx.env(env), stdin=subprocess.DEVNULL, stdout=o, stderr=e, cwd=case.dir)
        try:
            rc = p.wait(timeout=600)
        except subprocess.TimeoutExpired:
            p.kill()
            p.wait()
            rc = None
    with open(out, "rb") as o, open(err, "rb") as e:
        return rc, o.read().decode("latin-1"), e.read().decode("latin-1")


def findings(text, windows=False):
    """The error lines of orv's stderr. Windows names the file with its own separator: it
    is turned into '/' there (in the file name only, before the first ':')."""
    out = []
    for line in text.splitlines():
        if ": error: " in line:
            name, rest = line.split(":", 1)
            out.append((name.replace("\\", "/") if windows else name) + ":" + rest)
    return out


def copy_example(case, name):
    """A copy of the example's product folder, file times kept to the nanosecond."""
    src = os.path.join(h.shipped_file("example"), "product")
    case.need(src)
    dst = os.path.join(case.dir, name)
    shutil.copytree(src, dst, copy_function=shutil.copy2)
    for root, _, files in os.walk(src):
        for f in files:
            st = os.stat(os.path.join(root, f))
            os.utime(os.path.join(dst, os.path.relpath(root, src), f), ns=(st.st_atime_ns, st.st_mtime_ns))
    return dst


def build_both(case, pfx, product, tag):
    stub, uninstaller = kit_32()
    linux = os.path.join(case.dir, tag + "-linux.exe")
    test_orv.orv("build", product, "-o", linux, "-q", "--stub", stub, "--uninstaller", uninstaller,
                 env={"SOURCE_DATE_EPOCH": EPOCH}, check=0)
    windows = os.path.join(case.dir, tag + "-windows.exe")
    rc, out, err = run_exe(case, pfx, ["build", pfx.win(product), "-o", pfx.win(windows), "-q",
                                       "--stub", pfx.win(stub), "--uninstaller", pfx.win(uninstaller)],
                           tag, env={"SOURCE_DATE_EPOCH": EPOCH})
    assert rc == 0, "orv.exe build %s: exit %r\nstdout:\n%s\nstderr:\n%s" % (tag, rc, out, err)
    return test_orv.read(linux), test_orv.read(windows)


def expect_same_installer(linux, windows, tag):
    if linux == windows:
        return
    la = {k[:2]: v for k, v in pe.Pe(linux).resources().items()}
    wa = {k[:2]: v for k, v in pe.Pe(windows).resources().items()}
    differ = sorted("%s/%s" % k for k in set(la) | set(wa) if la.get(k) != wa.get(k))
    lines = ""
    if ("FILES", "FILELIST") in differ and la.get(("FILES", "FILELIST")) and wa.get(("FILES", "FILELIST")):
        lines = "\nLinux FILELIST:\n%s\nWindows FILELIST:\n%s" % (
            la[("FILES", "FILELIST")].decode("latin-1"), wa[("FILES", "FILELIST")].decode("latin-1"))
    raise AssertionError("%s: orv.exe wrote %d bytes, orv %d bytes; resources that differ: %s%s" % (
        tag, len(windows), len(linux), differ, lines))


@h.timeout(900)
def test_same_installer_as_linux(case):
    orv_exe(case)
    pfx = case.prefix()
    # The example's product folder as the build made it.
    product = os.path.join(h.shipped_file("example"), "product")
    linux, windows = build_both(case, pfx, case.need(product), "example")
    expect_same_installer(linux, windows, "example")

    # A copy with times that use every digit of a FILETIME (tick fractions of a second, and
    # nanoseconds that a tick truncates) and names whose byte order is not the order of a
    # dictionary or of case-blind comparison: "B" < "Z~" < "_x" < "a" < "docs\\..".
    copy = copy_example(case, "copy")
    payload = os.path.join(copy, "payload")
    times = {"B.txt": 1300000000_123456789, "Z~.txt": 1500000000_000000099, "_x.txt": 946684800_999999999,
             "a.txt": 2000000000_000000100, "docs/b~1.txt": 1000000000_000000005}
    for rel, ns in times.items():
        p = os.path.join(payload, *rel.split("/"))
        with open(p, "wb") as f:
            f.write(rel.encode() * 3)
        os.utime(p, ns=(ns, ns))
    os.utime(os.path.join(payload, "history.txt"), ns=(1112223334_444555666,) * 2)
    linux, windows = build_both(case, pfx, copy, "times")
    expect_same_installer(linux, windows, "times")
    listing = pe.Pe(linux).resources()
    names = [l.split(",")[0] for l in next(v for k, v in listing.items() if k[:2] == ("FILES", "FILELIST"))
             .decode("latin-1").split("\r\n") if l]
    tail = [n for n in names if n in ("B.txt", "Z~.txt", "_x.txt", "a.txt")]
    assert tail == ["B.txt", "Z~.txt", "_x.txt", "a.txt"], "order of the unordered files: %r" % names
    line = next(l for l in next(v for k, v in listing.items() if k[:2] == ("FILES", "FILELIST"))
                .decode("latin-1").split("\r\n") if l.startswith("B.txt,"))
    ticks = (1300000000 + 11644473600) * 10000000 + 1234567
    assert line == "B.txt,15.%08X,%08X" % (ticks & 0xFFFFFFFF, ticks >> 32), "B.txt: %r, ticks %d" % (line, ticks)


@h.timeout(600)
def test_check_reports_the_same_mistake(case):
    orv_exe(case)
    pfx = case.prefix()
    product = copy_example(case, "product")
    script = os.path.join(product, "SCRIPT")
    with open(script, "rb") as f:
        lines = f.read().split(b"\r\n")
    lines[3] = b"Lumi\\vane" + lines[3][len(b"Lumivane"):]  # the application name: a backslash
    with open(script, "wb") as f:
        f.write(b"\r\n".join(lines))
    linux = subprocess.run([h.orv_tool(), "check", "product"], cwd=case.dir, stdout=subprocess.PIPE,
                           stderr=subprocess.PIPE, timeout=300)
    rc, out, err = run_exe(case, pfx, ["check", "product"], "check")
    lin_err = linux.stderr.decode("latin-1")
    assert linux.returncode == 1 and rc == 1, "exit: orv %d, orv.exe %r\n%s\n%s" % (linux.returncode, rc, lin_err, err)
    want, got = findings(lin_err), findings(err, windows=True)
    assert want and want[0].startswith("product/SCRIPT:4:"), "orv: %r" % lin_err
    assert got == want, "orv.exe:\n%s\norv:\n%s" % ("\n".join(got), "\n".join(want))


@h.timeout(600)
def test_links_as_on_linux(case):
    # Links inside the payload are followed, a link to a directory that holds it refused, by
    # both (Wine shows the host's links as the files and directories they lead to).
    orv_exe(case)
    pfx = case.prefix()
    product = test_orv.product_dir(case, payload={"readme.txt": b"Read me.\r\n", "docs/a.txt": b"a" * 300})
    payload = os.path.join(product, "payload")
    os.symlink("docs", os.path.join(payload, "docs2"))
    os.symlink("readme.txt", os.path.join(payload, "readme2.txt"))
    linux, windows = build_both(case, pfx, product, "links")
    expect_same_installer(linux, windows, "links")
    names = pe.Pe(linux).resource("FILES", "FILELIST").decode("latin-1")
    assert "docs2\\a.txt," in names and "readme2.txt," in names, names

    os.symlink("..", os.path.join(payload, "docs", "up"))
    lin = subprocess.run([h.orv_tool(), "check", "product"], cwd=case.dir, stdout=subprocess.PIPE,
                         stderr=subprocess.PIPE, timeout=300)
    rc, out, err = run_exe(case, pfx, ["check", "product"], "loop")
    want, got = findings(lin.stderr.decode("latin-1")), findings(err, windows=True)
    assert lin.returncode == 1 and rc == 1, "exit: orv %d, orv.exe %r\n%s" % (lin.returncode, rc, err)
    assert any("repeat for ever" in l for l in want), want
    assert got == want, "orv.exe:\n%s\norv:\n%s" % ("\n".join(got), "\n".join(want))


@h.timeout(600)
def test_kit_orv_exe_finds_its_stub(case):
    # The installed kit: bin/orv.exe finds ..\share\orv\install_stub.exe and uninstall.exe
    # by itself, run from another directory.
    orv_exe(case)
    stub, uninstaller = (case.need(p) for p in kit_32())
    prefix = os.path.join(case.dir, "kit")
    r = subprocess.run(["cmake", "--install", h.build_dir(), "--prefix", prefix], stdout=subprocess.PIPE,
                       stderr=subprocess.STDOUT, timeout=300)
    assert r.returncode == 0, r.stdout.decode("latin-1")
    kit_exe = os.path.join(prefix, "bin", "orv.exe")
    assert test_orv.read(kit_exe) == test_orv.read(orv_exe(case)), "the kit's orv.exe is not the one built"
    pfx = case.prefix()
    product = test_orv.product_dir(case)
    elsewhere = os.path.join(case.dir, "elsewhere")
    os.makedirs(elsewhere)
    with open(os.path.join(case.dir, "kit.out"), "wb") as o:
        rc = subprocess.run(h.wine_cmd() + [kit_exe, "build", pfx.win(product), "-o", "setup.exe"],
                            env=pfx.env({"SOURCE_DATE_EPOCH": EPOCH}), stdin=subprocess.DEVNULL, stdout=o,
                            stderr=subprocess.STDOUT, cwd=elsewhere, timeout=600).returncode
    assert rc == 0, "kit orv.exe build: exit %r\n%s" % (rc, test_orv.read(os.path.join(case.dir, "kit.out")))
    want = os.path.join(case.dir, "want.exe")
    test_orv.orv("build", product, "-o", want, "--stub", stub, "--uninstaller", uninstaller,
                 env={"SOURCE_DATE_EPOCH": EPOCH}, check=0)
    expect_same_installer(test_orv.read(want), test_orv.read(os.path.join(elsewhere, "setup.exe")), "kit")


@h.timeout(600)
def test_output_inside_payload_refused_whatever_the_case(case):
    # Windows names ignore case: "PRODUCT\PAYLOAD\setup.exe" is inside product\payload.
    orv_exe(case)
    stub, uninstaller = kit_32()
    pfx = case.prefix()
    product = test_orv.product_dir(case)
    rc, out, err = run_exe(case, pfx, ["build", "product", "-o", "PRODUCT\\PAYLOAD\\setup.exe",
                                       "--stub", pfx.win(stub), "--uninstaller", pfx.win(uninstaller)], "inside")
    assert rc == 1 and "inside the payload folder" in err, "exit %r\n%s" % (rc, err)
    assert sorted(os.listdir(os.path.join(product, "payload"))) == ["readme.txt"], os.listdir(product + "/payload")


@h.timeout(600)
def test_writes_over_earlier_outputs(case):
    # An installer, FILELIST and DATA that exist already are replaced whole (on Windows a
    # plain rename refuses an existing target), and no temporary file is left behind.
    orv_exe(case)
    stub, uninstaller = kit_32()
    pfx = case.prefix()
    product = test_orv.product_dir(case, payload={"readme.txt": b"Read me.\r\n", "b.bin": bytes(range(256)) * 40})
    out_dir = os.path.join(case.dir, "out")
    os.makedirs(out_dir)
    for name in ("setup.exe", "FILELIST", "DATA"):
        with open(os.path.join(out_dir, name), "wb") as f:
            f.write(b"an earlier file " * 1000)
    rc, out, err = run_exe(case, pfx, ["build", "product", "-o", "out\\setup.exe", "-q", "--stub", pfx.win(stub),
                                       "--uninstaller", pfx.win(uninstaller)], "build", env={"SOURCE_DATE_EPOCH": EPOCH})
    assert rc == 0, "orv.exe build: exit %r\n%s" % (rc, err)
    rc, out, err = run_exe(case, pfx, ["pack", "product\\payload", "out"], "pack")
    assert rc == 0, "orv.exe pack: exit %r\n%s" % (rc, err)
    want = os.path.join(case.dir, "want")
    os.makedirs(want)
    test_orv.orv("build", product, "-o", os.path.join(want, "setup.exe"), "-q", "--stub", stub,
                 "--uninstaller", uninstaller, env={"SOURCE_DATE_EPOCH": EPOCH}, check=0)
    test_orv.orv("pack", os.path.join(product, "payload"), want, check=0)
    for name in ("setup.exe", "FILELIST", "DATA"):
        got, expected = test_orv.read(os.path.join(out_dir, name)), test_orv.read(os.path.join(want, name))
        assert got == expected, "%s: %d bytes written over the earlier file, orv wrote %d" % (name, len(got), len(expected))
    assert sorted(os.listdir(out_dir)) == ["DATA", "FILELIST", "setup.exe"], os.listdir(out_dir)
