"""The publisher's kit as it is installed: `orv --version` in the build tree, in an installed
kit and in a kit that lacks its stub."""
import os
import re
import shutil
import subprocess

import harness as h


def run(cmd, **kw):
    r = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=600, **kw)
    r.out = r.stdout.decode("latin-1")
    r.err = r.stderr.decode("latin-1")
    return r


def install_kit(case, prefix):
    r = run(["cmake", "--install", h.build_dir(), "--prefix", prefix])
    assert r.returncode == 0, r.out + r.err
    return os.path.join(prefix, "bin", "orv")


def project_version():
    text = open(os.path.join(h.source_dir(), "CMakeLists.txt")).read()
    return re.search(r"project\(OrvInstall VERSION (\S+)", text).group(1)


def rc_file_version(name):
    """The FileVersion string of a resource script's version resource."""
    text = open(os.path.join(h.source_dir(), "resources", name), encoding="latin-1").read()
    return re.search(r'VALUE "FileVersion", "([^"]*)"', text).group(1)


def version_lines(orv):
    r = run([orv, "--version"])
    assert r.returncode == 0, "exit %d\n%s%s" % (r.returncode, r.out, r.err)
    return r.out.splitlines()


def expect_versions(lines, share):
    assert lines[0] == "orv " + project_version(), lines
    for line, name, rc in zip(lines[1:], ("install_stub.exe", "uninstall.exe"), ("install.rc", "uninstall.rc")):
        want = "%s %s (%s)" % (name, rc_file_version(rc), os.path.realpath(os.path.join(share, name)))
        assert line == want, (line, want)
    assert len(lines) == 3, lines


def test_version_in_the_build_tree_and_an_installed_kit(case):
    case.need(h.shipped_file("install_stub.exe"))
    expect_versions(version_lines(h.orv_tool()), os.path.join(h.build_dir(), "win"))
    prefix = os.path.join(case.dir, "kit")
    orv = install_kit(case, prefix)
    expect_versions(version_lines(orv), os.path.join(prefix, "share", "orv"))

    # A kit without its stub: the version of orv still, the missing file named, exit 1.
    os.remove(os.path.join(prefix, "share", "orv", "install_stub.exe"))
    r = run([orv, "--version"])
    assert r.returncode == 1, (r.returncode, r.out, r.err)
    assert r.out.startswith("orv " + project_version() + "\n"), r.out
    assert "install_stub.exe was not found" in r.err, r.err
    # A stub without a version resource.
    shutil.copy(os.path.join(h.source_dir(), "CMakeLists.txt"), os.path.join(prefix, "share", "orv", "install_stub.exe"))
    r = run([orv, "--version"])
    assert r.returncode == 1 and "install_stub.exe: error: no FileVersion" in r.err, (r.returncode, r.err)
    assert run([orv, "--version", "extra"]).returncode == 2
