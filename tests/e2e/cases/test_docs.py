"""The publisher's documentation, tried as a publisher would: the product with a shortcut, a
driver and a completion option that docs/install-script.md shows (Tidewell), taken from the
page as it stands, checked and built with orv, installed under Wine on Windows NT 4; and the
same product built and signed with osslsigncode as docs/publishing.md shows, inspected and installed.

The driver is the project's test driver orvtest.sys (a version resource, loads under Wine)
under the name the page gives it."""
import importlib.util
import os
import shutil
import subprocess

import harness as h
import pe

PAGE = os.path.join("docs", "install-script.md")
PRODUCT = "Tidewell"
INSTALL_DIR = "C:\\Program Files\\Harbour\\Tidewell"
UNINSTALL_KEY = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tidewell"
SERVICE_KEY = "HKLM\\System\\CurrentControlSet\\Services\\tidewell"
DRIVER_FILE = "C:\\windows\\system32\\drivers\\tidewell.sys"
HELP = b"<html><body>Tidewell help</body></html>\r\n"
PROGRAM = b"Tidewell: these bytes stand in for the program\r\n"


def _check_scripts():
    path = os.path.join(h.source_dir(), "tests", "docs", "check_scripts.py")
    found = importlib.util.spec_from_file_location("check_scripts", path)
    mod = importlib.util.module_from_spec(found)
    found.loader.exec_module(mod)
    return mod


def orv():
    path = os.path.join(h.build_dir(), "orv")
    assert os.path.exists(path), "%s is not built: the publisher's command is needed here" % path
    return path


def run_orv(case, args, name):
    log = os.path.join(case.dir, name + ".out")
    rc = h.run_logged([orv()] + args, dict(os.environ), log, timeout=300)
    with open(log, encoding="utf-8", errors="replace") as f:
        return rc, f.read()


def product_from_page(case):
    """The product folder of the page's complete product Tidewell, with its payload."""
    with open(os.path.join(h.source_dir(), PAGE), encoding="utf-8") as f:
        products = _check_scripts().complete_products(f.read(), PAGE)
    found = [p for p in products if p[0] == PRODUCT]
    assert found, "no complete product %s in %s (found %s)" % (PRODUCT, PAGE, [p[0] for p in products])
    _, _, script, payload = found[0]
    assert set(payload) == {"Tidewell.exe", "help.html", "drivers\\tidewell.sys"}, payload
    d = os.path.join(case.dir, "tidewell")
    shutil.rmtree(d, ignore_errors=True)
    os.makedirs(os.path.join(d, "payload", "drivers"))
    with open(os.path.join(d, "SCRIPT"), "wb") as f:
        f.write(script.encode("cp1252"))
    with open(os.path.join(d, "LICENCE"), "wb") as f:
        f.write(b"Tidewell is lent to you, not sold.\r\n")
    with open(os.path.join(d, "payload", "Tidewell.exe"), "wb") as f:
        f.write(PROGRAM)
    with open(os.path.join(d, "payload", "help.html"), "wb") as f:
        f.write(HELP)
    shutil.copyfile(case.need(h.win_file("orvtest.sys")), os.path.join(d, "payload", "drivers", "tidewell.sys"))
    return d


def build(case, folder, out_name="Tidewell-setup.exe"):
    rc, said = run_orv(case, ["check", folder], "check")
    assert rc == 0 and ": warning:" not in said, "orv check: exit %s (expected 0, no warning):\n%s" % (rc, said)
    out = os.path.join(case.dir, out_name)
    rc, said = run_orv(case, ["build", folder, "-o", out, "--stub", h.win_file("install_stub.exe"),
                              "--uninstaller", h.win_file("uninstall.exe"), "-q"], "build")
    assert rc == 0 and os.path.exists(out), "orv build: exit %s:\n%s" % (rc, said)
    return out


# Every dialog of the installation as the page describes it; the help option is unticked
# before OK so that no browser is started in the prefix.
SCENARIO = r'''
    expect caption="Harbour Instruments" text="Are you sure you want to install Tidewell 2.1?"
    press 1
    expect caption="Software Licence Agreement"
    control 1004 text="Tidewell is lent to you, not sold."
    press 1
    expect caption="Choose folder"
    control 1000 text="C:\\Program Files\\Harbour\\Tidewell\\"
    press 1
    expect caption="Tidewell 2.1 setup" text="This directory does not exist.  Do you want to create it?"
    press 1
    expect caption="Select Program Folder"
    control 1005 text="Tidewell"
    press 1
    expect caption="Installation complete" timeout=180
    control 1009 text="&Read the Tidewell help" visible=1 checked=1
    control 1010 text="&Start Tidewell now" visible=1 checked=0
    control 1011 visible=0
    control 1013 visible=0
    untick 1009
    press 1
    end
'''


def check_installed(case, pfx):
    files = pfx.tree(INSTALL_DIR)
    assert files == ["drivers\\", "drivers\\tidewell.sys", "help.html", "Tidewell.exe", "Uninst.orv"], files
    assert pfx.read(INSTALL_DIR + "\\help.html") == HELP
    link = pfx.programs_folder() + "\\Tidewell\\Tidewell.lnk"
    assert pfx.exists(link), "no shortcut %s; the Programs folder holds %s" % (link, pfx.tree(pfx.programs_folder()))
    with open(h.win_file("orvtest.sys"), "rb") as f:
        assert pfx.read(DRIVER_FILE) == f.read(), "the driver file differs from the payload's"
    assert h.service_state(pfx, "tidewell") == "4", "the service tidewell is not running"
    lines = pfx.uninstall_script(INSTALL_DIR + "\\Uninst.orv").decode("cp1252").split("\r\n")
    assert lines[:3] == ["Harbour Instruments", "Tidewell", "2.1"], lines[:3]
    tail = ["HKLM", UNINSTALL_KEY[len("HKLM\\"):], ".", "tidewell", ".", ""]
    assert lines[-6:] == tail, "the script ends with %r, expected %r" % (lines[-6:], tail)
    reg = pfx.registry()
    key = reg.key(SERVICE_KEY)
    assert key is not None, "no service key %s" % SERVICE_KEY
    assert (key.get("Type"), key.get("Start"), key.get("ErrorControl"), key.get("DisplayName")) == \
        (1, 2, 1, "Tidewell filter"), key
    assert reg.value(UNINSTALL_KEY, "DisplayName") == "Tidewell", reg.key(UNINSTALL_KEY)


@h.timeout(1500)
def test_page_product_with_shortcut_driver_and_option_installs_on_nt4(case):
    setup = build(case, product_from_page(case))
    case.need(h.win_file("svcstate.exe"))
    pfx = case.prefix("nt40")
    r = pfx.run(setup, scenario=SCENARIO)
    assert r.exit_code == 0, "installer exit code %r" % r.exit_code
    check_installed(case, pfx)


def page_sign_commands():
    """The shell lines of docs/publishing.md that set SIGN and build with it."""
    with open(os.path.join(h.source_dir(), "docs", "publishing.md"), encoding="utf-8") as f:
        text = f.read()
    lines = [ln.strip() for ln in text.splitlines() if ln.startswith("    SIGN=") or "--sign \"$SIGN\"" in ln]
    assert len(lines) >= 2 and lines[-1].startswith("orv build"), "no signing build on the page: %r" % lines
    return lines


def verify(cert, path):
    r = subprocess.run(["osslsigncode", "verify", "-CAfile", cert, "-in", path], capture_output=True, text=True)
    assert r.returncode == 0, "osslsigncode verify %s: %s%s" % (path, r.stdout, r.stderr)


@h.timeout(1500)
def test_signed_installer_inspects_and_installs(case):
    for tool in ("osslsigncode", "openssl", "bash"):
        assert shutil.which(tool), "%s is not installed (scripts/setup-deps.sh installs it)" % tool
    folder = product_from_page(case)
    build(case, folder)
    key, cert = os.path.join(case.dir, "key.pem"), os.path.join(case.dir, "cert.pem")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert,
                    "-days", "2", "-subj", "/CN=Harbour Instruments test"], check=True, capture_output=True)
    # The page's certificate file and password file, made from the throw-away certificate.
    with open(os.path.join(case.dir, "p12-password.txt"), "w") as f:
        f.write("test-password\n")
    subprocess.run(["openssl", "pkcs12", "-export", "-inkey", key, "-in", cert, "-out",
                    os.path.join(case.dir, "publisher.p12"), "-passout", "file:p12-password.txt"],
                   cwd=case.dir, check=True, capture_output=True)
    # The page's commands as they stand, run by bash in the folder beside the product, with
    # no time-stamp server (no network here) and the kit of this build.
    lines = [ln.replace(" -t http://timestamp.digicert.com", "") for ln in page_sign_commands()]
    script = 'orv() { "%s" "$@" --stub "%s" --uninstaller "%s"; }\nset -e\n%s\n' % (
        orv(), h.win_file("install_stub.exe"), h.win_file("uninstall.exe"), "\n".join(lines))
    log = os.path.join(case.dir, "sign.out")
    rc = h.run_logged(["bash", "-c", script], dict(os.environ), log, timeout=300, cwd=case.dir)
    said = open(log, encoding="utf-8", errors="replace").read()
    signed = os.path.join(case.dir, "Tidewell-2.1-setup.exe")
    assert rc == 0 and os.path.exists(signed), "the page's signing build: exit %s:\n%s\n%s" % (rc, script, said)
    verify(cert, signed)
    uninstaller = pe.load(signed).resource("FILES", "UNINSTALL")
    with open(h.win_file("uninstall.exe"), "rb") as f:
        assert len(uninstaller) > len(f.read()), "the carried uninstaller is no larger than the unsigned one"
    extracted = os.path.join(case.dir, "UNINSTALL.exe")
    with open(extracted, "wb") as f:
        f.write(uninstaller)
    verify(cert, extracted)
    rc, said = run_orv(case, ["inspect", signed], "inspect")
    assert rc == 0, "orv inspect of the signed installer: exit %s:\n%s" % (rc, said)
    assert "tidewell" in said.lower(), "orv inspect does not show the script:\n%s" % said
    case.need(h.win_file("svcstate.exe"))
    pfx = case.prefix("nt40")
    r = pfx.run(signed, scenario=SCENARIO)
    assert r.exit_code == 0, "installer exit code %r" % r.exit_code
    check_installed(case, pfx)
    assert pfx.read(pfx.windir + "\\UnstOrv.exe") == uninstaller, "the UnstOrv.exe written is not the signed uninstaller"
