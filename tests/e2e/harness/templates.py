"""Template prefixes: made once per Windows version under a lock, with the reported
version and no just-in-time debugger, and copied for each test."""
import contextlib
import fcntl
import os
import shutil
import subprocess
import time

from .env import VERSIONS, arch, e2e_dir, run_logged, stop_wineserver, wine_cmd, wine_env, wine_version, _kit


def template_dir(version="default"):
    return os.path.join(_kit["templates"] if _kit else os.path.join(e2e_dir(), "templates"), "%s-%s" % (arch(), version))


@contextlib.contextmanager
def _locked(path):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w") as f:
        fcntl.flock(f, fcntl.LOCK_EX)
        try:
            yield
        finally:
            fcntl.flock(f, fcntl.LOCK_UN)


def _machine_fonts():
    """The fonts Wine finds on this machine: a template made before one was added or removed
    is made again, since Wine registers the machine's fonts in a prefix when it is made."""
    d = "/usr/share/wine/fonts"
    try:
        names = sorted(os.listdir(d))
    except OSError:
        return "no fonts"
    return " ".join("%s:%d" % (n, os.path.getsize(os.path.join(d, n))) for n in names)


def _stamp_text():
    return "orv-template 3\n%s\n%s\n%s\n" % (arch(), wine_version(), _machine_fonts())


def _template_ready(d):
    stamp = os.path.join(d, ".orv-template")
    if not os.path.exists(stamp):
        return False
    if os.environ.get("ORV_E2E_NEW_TEMPLATE") == "1" and not os.path.exists(
            os.path.join(d, ".orv-this-run")):
        return False
    with open(stamp) as f:
        return f.read() == _stamp_text()


def make_template(version="default", log=None):
    """Makes (or reuses) the template prefix of a Windows version; returns its path.
    Parallel callers wait for each other under a lock."""
    d = template_dir(version)
    with _locked(d + ".lock"):
        if _template_ready(d):
            return d
        shutil.rmtree(d, ignore_errors=True)
        log = log or (d + ".log")
        if version == "default":
            t0 = time.time()
            rc = run_logged(wine_cmd() + ["wineboot", "-i"], wine_env(d), log, timeout=3600)
            # wineboot returns before the prefix is complete: the rest of the set-up runs on
            # in the session, which ends by itself when it is done.
            settled = run_logged(["wineserver", "-w"], wine_env(d), log, timeout=3600)
            if settled is None:
                stop_wineserver(d, wait=False)
                raise RuntimeError("the template prefix's set-up did not end within an hour, see %s" % log)
            if rc != 0 or not os.path.exists(os.path.join(d, "system.reg")):
                raise RuntimeError("making the template prefix failed (wineboot %s), see %s" % (rc, log))
            _no_debugger(d)
            with open(log, "a") as f:
                f.write("template made in %.1f s\n" % (time.time() - t0))
        else:
            if version not in VERSIONS:
                raise ValueError("unknown Windows version %r" % version)
            base = make_template("default")
            tmp = d + ".tmp"
            shutil.rmtree(tmp, ignore_errors=True)
            subprocess.check_call(["cp", "-a", base, tmp])
            set_reported_version(tmp, version)
            os.rename(tmp, d)
        with open(os.path.join(d, ".orv-this-run"), "w") as f:
            f.write("%d\n" % os.getpid())
        with open(os.path.join(d, ".orv-template"), "w") as f:
            f.write(_stamp_text())
        return d


def set_reported_version(prefix, version):
    """What `wine reg add HKCU\\Software\\Wine /v Version /d VERSION /f` does, written
    straight into user.reg while no wineserver runs (a wine start here costs many seconds)."""
    _set_string_value(os.path.join(prefix, "user.reg"), "Software\\Wine", "Version", version)


# Wine registers its own debugger as the just-in-time debugger of every new prefix
# (AeDebug "Debugger" = "winedbg --auto ...", or winedbg when the value is missing): a
# fault that a program offers to UnhandledExceptionFilter then ends in winedbg's "Program
# Error" box and the process is killed (exit code 0xDEAD). An empty "Debugger" value is
# Windows without a registered debugger: the debugger cannot be started, and the last-chance
# handling answers that the faulting code is to be ended (EXCEPTION_EXECUTE_HANDLER).
AEDEBUG_KEY = "Software\\Microsoft\\Windows NT\\CurrentVersion\\AeDebug"


def _no_debugger(prefix):
    _set_string_value(os.path.join(prefix, "system.reg"), AEDEBUG_KEY, "Debugger", "")


def _set_string_value(path, key, name, value):
    """Sets a string value of a key in a registry file of a prefix whose wineserver is not
    running (key relative to the file's root, value without characters needing escapes)."""
    with open(path, "rb") as f:
        text = f.read().decode("utf-8")
    line = '"%s"="%s"' % (name, value)
    head = "[%s]" % key.replace("\\", "\\\\")
    lines = text.split("\n")
    start = next((i for i, l in enumerate(lines) if l.lower().startswith(head.lower())), None)
    if start is None:
        lines[-1:] = ["", "%s %d" % (head, int(time.time())), "#time=0", line, ""]
    else:
        end = start + 1
        while end < len(lines) and lines[end].strip():
            end += 1
        body = [l for l in lines[start + 1:end] if not l.lower().startswith(('"%s"=' % name).lower())]
        heads = [l for l in body if l.startswith("#")]
        rest = [l for l in body if not l.startswith("#")]
        lines[start + 1:end] = heads + [line] + rest
    text = "\n".join(lines)
    with open(path, "wb") as f:
        f.write(text.encode("utf-8"))


# Wine's own binaries, most of a prefix's size (some 1.3 GB for a 64-bit prefix): a test's
# prefix shares them with the template through hard links, and copies everything else.
SHARED_EXT = (".dll", ".exe", ".drv", ".sys", ".ocx", ".acm", ".cpl", ".tlb", ".ax", ".ds",
              ".com", ".dll16", ".exe16", ".mod", ".vxd", ".ttf", ".fon", ".msstyles")


def copy_prefix(src, dst):
    """Copies a template prefix; returns {path: (size, mtime_ns)} of the shared files, which
    Case.finish checks: a test that wrote into one would spoil the template."""
    shared = {}
    windows = os.path.join(src, "drive_c", "windows")
    for root, dirs, files in os.walk(src):
        rel = os.path.relpath(root, src)
        out = os.path.join(dst, rel) if rel != "." else dst
        os.makedirs(out, exist_ok=True)
        shutil.copystat(root, out)
        for n in dirs + files:
            s = os.path.join(root, n)
            d = os.path.join(out, n)
            if os.path.islink(s):
                os.symlink(os.readlink(s), d)
            elif n in dirs:
                continue
            elif n.startswith(".orv-"):
                continue
            elif (root == windows or root.startswith(windows + "/")) and n.lower().endswith(SHARED_EXT):
                st = os.stat(s)
                os.link(s, d)
                shared[d] = (st.st_size, st.st_mtime_ns)
            else:
                shutil.copy2(s, d)
    return shared


def changed_shared_files(prefix):
    out = []
    for path, (size, mtime) in getattr(prefix, "shared", {}).items():
        try:
            st = os.stat(path)
        except FileNotFoundError:
            continue  # replaced or deleted through a new directory entry: harmless
        if st.st_nlink > 1 and (st.st_size, st.st_mtime_ns) != (size, mtime):
            out.append(path)
    return out
