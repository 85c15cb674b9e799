"""orv build --sign: the signing command run on the uninstaller and on the installer, with a
throw-away certificate made here; what is written when it works, and nothing when it fails.
(The signed installer installed under Wine, with its uninstaller written byte for byte, is
e2e.docs.signed_installer_inspects_and_installs.)"""
import os
import shutil
import subprocess

import harness as h
import pe
from test_orv import kit, orv, pe_checksum, product_dir, read

TIME = "946684800"  # the signing time, fixed so that the signature is the same each time


def certificate(case):
    for tool in ("osslsigncode", "openssl"):
        assert shutil.which(tool), "%s is not installed (scripts/setup-deps.sh installs it)" % tool
    key, cert = os.path.join(case.dir, "key.pem"), os.path.join(case.dir, "cert.pem")
    if not os.path.exists(cert):
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert,
                        "-days", "2", "-subj", "/CN=Orv signing test"], check=True, capture_output=True)
    return key, cert


def sign_command(case):
    key, cert = certificate(case)
    return "osslsigncode sign -certs '%s' -key '%s' -h sha256 -time %s -in {in} -out {out}" % (cert, key, TIME)


def verify(case, data, name):
    path = os.path.join(case.dir, name)
    with open(path, "wb") as f:
        f.write(data)
    r = subprocess.run(["osslsigncode", "verify", "-CAfile", certificate(case)[1], "-in", path],
                       capture_output=True, text=True)
    assert r.returncode == 0, "osslsigncode verify %s: %s%s" % (name, r.stdout, r.stderr)


def leftovers(directory):
    return sorted(n for n in os.listdir(directory) if ".orv-" in n)


def test_signed_build_verifies_and_is_reproducible(case):
    d = product_dir(case)
    out = os.path.join(case.dir, "it's a setup.exe")  # quoted for the shell as it should be
    r = orv("build", d, "-o", out, "--sign", sign_command(case), *kit(case), check=0)
    assert "Succeeded" not in r.out, "the signing command's output is on stdout:\n" + r.out
    signed = read(out)
    verify(case, signed, "installer.exe")
    uninstaller = pe.load(out).resource("FILES", "UNINSTALL")
    verify(case, uninstaller, "UNINSTALL.exe")
    for label, data in (("installer", signed), ("uninstaller", uninstaller)):
        computed, stored = pe_checksum(data)
        assert computed == stored, "%s: PE checksum %08X, the bytes give %08X" % (label, stored, computed)
    assert os.access(out, os.X_OK), "the signed installer is not executable"
    assert leftovers(case.dir) == [], leftovers(case.dir)
    orv("inspect", out, check=0)

    again = os.path.join(case.dir, "again.exe")
    orv("build", d, "-o", again, "--sign", sign_command(case), *kit(case), check=0)
    assert read(again) == signed, "the same inputs and signature gave other bytes"
    plain = os.path.join(case.dir, "plain.exe")
    orv("build", d, "-o", plain, *kit(case), check=0)
    assert read(plain)[:1024] != signed[:1024] and len(read(plain)) < len(signed)


def test_failed_signing_writes_nothing(case):
    d = product_dir(case)
    good = sign_command(case)
    cases = [
        ("the command fails on the uninstaller", "false {in} {out}"),
        ("the command writes no file", "true {in} {out}"),
        ("the command fails on the installer only",
         "case {in} in *unsigned*) exit 3;; esac; " + good),
        ("the command writes something that is not a PE image", "echo no > {out} ; : {in}"),
    ]
    out = os.path.join(case.dir, "setup.exe")
    for label, command in cases:
        r = orv("build", d, "-o", out, "--sign", command, *kit(case))
        assert r.returncode == 1, "%s: exit %d\n%s" % (label, r.returncode, r.err)
        assert "error:" in r.err, "%s: no error said:\n%s" % (label, r.err)
        assert not os.path.exists(out), "%s: %s written" % (label, out)
        assert leftovers(case.dir) == [], "%s: left %s" % (label, leftovers(case.dir))
    r = orv("build", d, "-o", out, "--sign", "osslsigncode sign -in {in}", *kit(case), check=2)
    assert "{out}" in r.err, r.err


def test_a_signed_stub_is_refused(case):
    stub = kit(case)[1]
    signed_stub = os.path.join(case.dir, "signed_stub.exe")
    key, cert = certificate(case)
    subprocess.run(["osslsigncode", "sign", "-certs", cert, "-key", key, "-in", stub, "-out", signed_stub],
                   check=True, capture_output=True)
    out = os.path.join(case.dir, "setup.exe")
    r = orv("build", product_dir(case), "-o", out, "--stub", signed_stub, "--uninstaller", kit(case)[3], check=1)
    assert "signed" in r.err, r.err
    assert not os.path.exists(out)
