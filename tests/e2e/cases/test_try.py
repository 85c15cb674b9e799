"""orv try from an installed kit: the example product clean on every Windows setting, a
product that leaves a file behind refused with the file named, and no Wine refused with
what to install."""
import os
import subprocess
import sys

import harness as h
import integration_flow as f
import test_kit as kit


def orv_try(case, orv, setup, *args, env=None):
    """orv try with the build's template prefix (so that no run makes its own)."""
    cmd = [orv, "try", setup, "--templates", os.path.join(h.e2e_dir(), "templates")] + list(args)
    r = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=3000, env=env)
    out = r.stdout.decode("latin-1")
    with open(os.path.join(case.dir, "orv-try.out"), "w") as fh:
        fh.write(out)
    return r.returncode, out


def summary(out):
    lines = out.split("\norv try: summary\n", 1)[1].splitlines()
    return {ln.split()[0]: ln.split()[1] for ln in lines if ln.startswith("  ") and not ln.startswith("   ")}


@h.timeout(1800)
def test_example_product_is_clean_on_every_setting(case):
    if h.arch() != "win32":
        raise h.Skip("orv try runs the shipped 32-bit build")
    setup = case.need(h.shipped_file("install.exe"))
    orv = kit.install_kit(case, os.path.join(case.dir, "kit"))
    shots = os.path.join(case.dir, "shots")
    rc, out = orv_try(case, orv, setup, "--screenshots", shots)
    assert rc == 0, out[-3000:]
    assert summary(out) == {v: "clean" for v in h.VERSIONS}, out[-2000:]
    # Six dialogs of the installation and two of the uninstallation, photographed each time.
    for v in h.VERSIONS:
        pictures = sorted(os.listdir(os.path.join(shots, v)))
        assert len(pictures) == 8 and all(p.endswith(".png") for p in pictures), (v, pictures)
    for shown in ("Add/Remove Programs key HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Lumivane",
                  "UninstallString = 'C:\\\\windows\\\\UnstOrv.exe C:\\\\Program Files\\\\Orv\\\\Lumivane\\\\Uninst.orv'",
                  "Lumivane documentation.lnk", "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Lumivane"):
        assert out.count(shown) >= 6, (shown, out[-2000:])


@h.timeout(900)
def test_a_file_left_behind_fails_and_is_named(case):
    # A product whose program, run from the completion dialog (on by default), writes a
    # file beside itself that the uninstall script does not know: the uninstaller cannot
    # remove it nor the directories that hold it.
    marker = case.need(h.shipped_file("marker.exe"))
    payload = dict(f.DEFAULT_PAYLOAD)
    payload["bin\\marker.exe"] = marker
    setup = f.installer(case, f.script(options=["bin\\marker.exe,&Start Lumivane,on"]), payload=payload)
    orv = kit.install_kit(case, os.path.join(case.dir, "kit"))
    rc, out = orv_try(case, orv, setup, "--windows", "98")
    assert rc == 1, out[-3000:]
    assert summary(out) == {"win98": "FAILED"}, out[-2000:]
    verdict = out.split("\norv try: summary\n", 1)[1]
    assert "left behind (files added): " + f.INSTALL_DIR + "\\bin\\marker.exe.started" in verdict, verdict
    assert "left behind (files added): C:\\windows\\UnstOrv.exe" not in verdict, verdict


def test_without_wine_says_what_to_install(case):
    orv = kit.install_kit(case, os.path.join(case.dir, "kit"))
    bare = os.path.join(case.dir, "bin")
    os.makedirs(bare)
    os.symlink(sys.executable, os.path.join(bare, "python3"))
    rc, out = orv_try(case, orv, h.shipped_file("install.exe"), env=dict(os.environ, PATH=bare))
    assert rc == 2, (rc, out)
    assert "wine, wineserver, Xvfb not found" in out and "apt install wine wine32 xvfb" in out, out
