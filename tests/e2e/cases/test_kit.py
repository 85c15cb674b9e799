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


def help_texts(orv):
    """orv --help and orv VERB --help for every verb that it lists."""
    main = run([orv, "--help"]).out
    texts = [main]
    for verb in re.findall(r"^  orv (\S+)", main, re.M):
        r = run([orv, verb, "--help"])
        assert r.returncode == 0 and r.out.startswith("Usage: orv " + verb), (verb, r.returncode, r.out)
        texts.append(r.out)
    assert len(texts) >= 6, "too few verbs in orv --help:\n" + main
    return texts


@h.timeout(600)
def test_debian_package_installs_and_builds_the_example(case):
    for tool in ("dpkg-deb", "dpkg-shlibdeps", "lintian", "man"):
        assert shutil.which(tool), "%s is not installed (scripts/setup-deps.sh installs it)" % tool
    want = case.need(h.shipped_file("install.exe"))
    r = run([os.path.join(h.source_dir(), "packaging", "make-deb.sh"), h.build_dir(), case.dir])
    assert r.returncode == 0, r.out + r.err
    deb = r.out.strip()
    assert os.path.basename(deb) == "orv_%s_%s.deb" % (project_version(), run(["dpkg", "--print-architecture"]).out.strip())
    r = run(["lintian", "--no-tag-display-limit", deb])
    errors = [ln for ln in r.out.splitlines() if ln.startswith("E:")]
    assert not errors, "lintian:\n" + r.out + r.err

    root = os.path.join(case.dir, "root")
    r = run(["dpkg", "-x", deb, root])
    assert r.returncode == 0, r.err
    orv = os.path.join(root, "usr", "bin", "orv")
    for rel in ("usr/share/doc/orv/copyright", "usr/share/doc/orv/changelog.gz", "usr/share/doc/orv/publishing.md",
                "usr/share/orv/example/SCRIPT", "usr/share/man/man1/orv.1.gz"):
        assert os.path.exists(os.path.join(root, rel)), "the package lacks /%s" % rel
    assert not os.path.exists(os.path.join(root, "usr", "bin", "orv.exe"))
    expect_versions(version_lines(orv), os.path.join(root, "usr", "share", "orv"))

    # The manual page says what the help texts say, line by line.
    env = dict(os.environ, LANG="C", LC_ALL="C", MANWIDTH="200")
    shown = run(["man", "-l", os.path.join(root, "usr/share/man/man1/orv.1.gz")], env=env)
    assert shown.returncode == 0, shown.err
    page = {ln.strip() for ln in shown.out.splitlines()}
    for text in help_texts(orv):
        missing = [ln for ln in text.splitlines() if ln.strip() and ln.strip() not in page]
        assert not missing, "the manual page lacks %r (of %r)" % (missing[:3], text.splitlines()[0])

    # The installed orv builds the installed example into the build tree's example installer.
    out = os.path.join(case.dir, "lumivane-setup.exe")
    env = dict(os.environ)
    env.pop("SOURCE_DATE_EPOCH", None)
    r = run([orv, "build", os.path.join(root, "usr", "share", "orv", "example"), "-o", out], env=env, cwd=case.dir)
    assert r.returncode == 0, r.out + r.err
    with open(out, "rb") as a, open(want, "rb") as b:
        assert a.read() == b.read(), "the package's orv and example give other bytes than the build tree"
