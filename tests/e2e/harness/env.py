"""Where the tests run: the build tree or the kit, 32 or 64 bits, the Wine environment,
logged commands and the wineserver."""
import contextlib
import functools
import json
import os
import subprocess

VERSIONS = ("default", "win95", "win98", "winme", "nt40", "win2k")
DEFAULT_TIMEOUT = 900
# Every program run in a test prefix: quiet, without the Mono and Gecko installers and
# without winemenubuilder, which would copy shortcuts into the host's desktop menus.
WINE_ENV = {
    "WINEDEBUG": "-all",
    "WINEDLLOVERRIDES": "mscoree,mshtml=;winemenubuilder.exe=d",
}
WINE64 = "/usr/lib/wine/wine64"
# The fixed moment of payload files unless a test gives its own (file list time form).
PAYLOAD_TIME = 924940952  # 1999-04-24 08:02:32 UTC


class Skip(Exception):
    """A prerequisite is not built (yet): the test is reported as skipped, never passed."""


def timeout(seconds):
    """Decorator read by e2e.cmake (from the source, not at run time): the CTest time-out."""
    def wrap(f):
        f.e2e_timeout = seconds
        return f
    return wrap


def source_dir():
    here = os.path.dirname(os.path.abspath(__file__))  # tests/e2e/harness
    return os.environ.get("ORV_SOURCE_DIR") or os.path.dirname(os.path.dirname(os.path.dirname(here)))


# Set by use_kit(): the harness then runs from the publisher's kit, without a build tree.
_kit = {}


def use_kit(files_dir, work_dir, templates_dir=None):
    """Runs the harness from the kit instead of a build tree: the dialog driver (and every
    other win_file) is taken from files_dir, prefixes, Xvfb's note and screenshots live under
    work_dir, and the template prefixes under templates_dir (default: work_dir/templates).
    The kit carries the shipped 32-bit build only, so prefixes are 32-bit."""
    _kit.update(files=files_dir, work=work_dir, templates=templates_dir or os.path.join(work_dir, "templates"))


def build_dir():
    d = os.environ.get("ORV_BUILD_DIR")
    if not d:
        raise RuntimeError("ORV_BUILD_DIR is not set (run the tests through ctest)")
    return d


@functools.lru_cache(maxsize=None)
def arch():
    """"win32" (the shipped 32-bit build in build/win, 32-bit prefixes) or "win64" (the same
    sources built for 64-bit Windows in build/win64, 64-bit prefixes). ORV_E2E_ARCH chooses;
    by default win32 where the machine runs 32-bit code itself, and win64 where 32-bit code
    would only run under emulation (qemu through binfmt_misc: many times slower) and the
    64-bit build exists. From the kit always win32."""
    if _kit:
        return "win32"
    a = os.environ.get("ORV_E2E_ARCH")
    if a:
        if a not in ("win32", "win64"):
            raise ValueError("ORV_E2E_ARCH must be win32 or win64, not %r" % a)
        return a
    emulated = os.path.exists("/proc/sys/fs/binfmt_misc/qemu-i386")
    try:
        native = not emulated and subprocess.run(
            ["/lib/ld-linux.so.2", "--version"], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL, timeout=60).returncode == 0
    except (OSError, subprocess.TimeoutExpired):
        native = False
    if not native and os.path.exists(os.path.join(build_dir(), "win64", "orvdrive.exe")) \
            and os.path.exists(WINE64):
        return "win64"
    return "win32"


def wine_cmd():
    return [WINE64] if arch() == "win64" else ["wine"]


def win_file(name):
    """A file of the Windows build the tests run (build/win/<name>, or build/win64/<name>
    when the tests run the 64-bit build, see arch())."""
    if _kit:
        return os.path.join(_kit["files"], name)
    return os.path.join(build_dir(), "win64" if arch() == "win64" else "win", name)


def shipped_file(name):
    """A file of the 32-bit build that ships (build/win/<name>), whatever the tests run."""
    if _kit:
        return win_file(name)
    return os.path.join(build_dir(), "win", name)


def e2e_dir():
    if _kit:
        return _kit["work"]
    return os.path.join(build_dir(), "e2e")


def quote(text):
    """A scenario value for any text: quoted, with backslash, quote, CR, LF and TAB escaped
    ("expect text=%s" % quote("Error:\r\nC:\\x") and the like)."""
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"').replace("\r", "\\r").replace(
        "\n", "\\n").replace("\t", "\\t") + '"'


def fault_env(*rules):
    return {"ORV_FAULT": ",".join(rules)}


def wine_version():
    try:
        return subprocess.run(["wine", "--version"], capture_output=True, text=True,
                              timeout=60).stdout.strip()
    except (OSError, subprocess.TimeoutExpired):
        return "unknown"


def display():
    info = os.path.join(e2e_dir(), "xvfb.json")
    if os.environ.get("ORV_E2E_DISPLAY"):
        return os.environ["ORV_E2E_DISPLAY"]
    if os.path.exists(info):
        with open(info) as f:
            return json.load(f)["display"]
    return os.environ.get("DISPLAY", "")


def wine_env(prefix, extra=None):
    env = dict(os.environ)
    env.update(WINE_ENV)
    env["WINEPREFIX"] = prefix
    env["WINEARCH"] = arch()
    if arch() == "win64":
        env["WINELOADER"] = WINE64
    d = display()
    if d:
        env["DISPLAY"] = d
    for k in ("ORV_FAULT", "ORV_RESTART_MARK"):
        env.pop(k, None)
    if extra:
        env.update({k: str(v) for k, v in extra.items()})
    return env


def run_logged(cmd, env, log_path, timeout, cwd=None):
    """Runs a command with its output going to a file (a pipe can be held open for ever by
    the wineserver and its services). Returns the exit code, or None on a time-out."""
    with open(log_path, "ab") as out:
        out.write(("$ %s\n" % " ".join(cmd)).encode())
        out.flush()
        p = subprocess.Popen(cmd, env=env, stdin=subprocess.DEVNULL, stdout=out, stderr=out,
                             cwd=cwd)
        try:
            return p.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            p.kill()
            p.wait()
            return None


def stop_wineserver(prefix, wait=True, timeout=120):
    """Ends a prefix's wineserver. With wait it first lets the session end by itself (the
    registry is written then), and kills it only when that does not happen in time."""
    if not os.path.isdir(prefix):
        return
    env = wine_env(prefix)
    devnull = subprocess.DEVNULL
    if wait:
        try:
            subprocess.run(["wineserver", "-w"], env=env, stdin=devnull, stdout=devnull,
                           stderr=devnull, timeout=timeout)
            return
        except subprocess.TimeoutExpired:
            pass
    subprocess.run(["wineserver", "-k"], env=env, stdin=devnull, stdout=devnull,
                   stderr=devnull, timeout=120)
    with contextlib.suppress(subprocess.TimeoutExpired):
        subprocess.run(["wineserver", "-w"], env=env, stdin=devnull, stdout=devnull,
                       stderr=devnull, timeout=60)
