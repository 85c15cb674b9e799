"""A test's Wine prefix: Windows paths, the disk, the registry, snapshots and runs of a
program under the dialog driver (orvdrive)."""
import contextlib
import hashlib
import os
import re
import shutil
import subprocess
import time

from .drive import RunResult, dedent
from .env import run_logged, stop_wineserver, wine_cmd, wine_env, win_file
from .registry import Registry
from .snapshots import Snapshot


class Prefix:
    def __init__(self, case, path, version):
        self.case = case
        self.path = path
        self.version = version
        self.windir = "C:\\windows"
        self.sysdir = "C:\\windows\\system32"
        self.program_files = "C:\\Program Files"
        self.runs = 0
        self.shared = {}

    # -- paths
    def host(self, p):
        p = os.fspath(p)
        if p.startswith("/"):
            return p
        m = re.match(r"([A-Za-z]):[\\/]?(.*)$", p)
        if not m:
            raise ValueError("not a Windows path: %r" % p)
        drive, rest = m.group(1).lower(), m.group(2).replace("\\", "/")
        if drive == "z":
            return "/" + rest
        base = os.path.join(self.path, "drive_" + drive) if drive == "c" else os.path.join(
            self.path, "dosdevices", drive + ":")
        return _case_blind(base, rest)

    def win(self, p):
        p = os.path.abspath(os.fspath(p))
        c = os.path.join(self.path, "drive_c")
        if p == c or p.startswith(c + "/"):
            return "C:\\" + p[len(c) + 1:].replace("/", "\\")
        return "Z:" + p.replace("/", "\\")

    def user_dir(self):
        users = self.host("C:\\users")
        names = [n for n in os.listdir(users) if n.lower() not in ("public", "default")]
        if len(names) != 1:
            raise RuntimeError("cannot tell the user's profile among %r" % names)
        return "C:\\users\\" + names[0]

    def programs_folder(self):
        return self.user_dir() + "\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs"

    def temp_dir(self):
        return self.user_dir() + "\\Temp"

    # -- disk
    def exists(self, p):
        return os.path.lexists(self.host(p))

    def isdir(self, p):
        return os.path.isdir(self.host(p))

    def read(self, p):
        with open(self.host(p), "rb") as f:
            return f.read()

    def uninstall_script(self, p):
        return self.read(p)

    def write(self, p, data, mtime=None):
        h = self.host(p)
        os.makedirs(os.path.dirname(h), exist_ok=True)
        with contextlib.suppress(FileNotFoundError):
            os.remove(h)  # never through a link shared with the template
        with open(h, "wb") as f:
            f.write(data.encode("cp1252") if isinstance(data, str) else data)
        if mtime is not None:
            os.utime(h, (mtime, mtime))
        return h

    def copy_in(self, host_path, p):
        h = self.host(p)
        os.makedirs(os.path.dirname(h), exist_ok=True)
        with contextlib.suppress(FileNotFoundError):
            os.remove(h)
        shutil.copy2(host_path, h)
        return h

    def mtime(self, p):
        return os.stat(self.host(p)).st_mtime

    def listdir(self, p):
        return sorted(os.listdir(self.host(p)), key=str.lower)

    def tree(self, p):
        base = self.host(p)
        out = []
        for root, dirs, files in os.walk(base):
            rel = os.path.relpath(root, base)
            rel = "" if rel == "." else rel.replace("/", "\\") + "\\"
            out += [rel + d + "\\" for d in dirs] + [rel + f for f in files]
        return sorted(out, key=str.lower)

    def snapshot(self):
        self.flush()
        files = {}
        base = os.path.join(self.path, "drive_c")
        for root, dirs, names in os.walk(base):
            for n in names + dirs:
                h = os.path.join(root, n)
                st = os.lstat(h)
                w = self.win(h) + ("\\" if n in dirs else "")
                digest = None
                # Wine's own binaries shared with the template are compared by size and time.
                if n in names and st.st_size < (1 << 20) and not os.path.islink(h) and \
                        self.shared.get(h) != (st.st_size, st.st_mtime_ns):
                    with open(h, "rb") as f:
                        digest = hashlib.sha1(f.read()).hexdigest()
                files[w.lower()] = (w, st.st_size if n in names else 0,
                                    int(st.st_mtime) if n in names else 0, digest)
        return Snapshot(files, Registry(self.path).flat())

    # -- wine
    def env(self, extra=None):
        return wine_env(self.path, extra)

    def wine(self, args, env=None, timeout=600):
        self.runs += 1
        log = os.path.join(self.case.dir, "wine-%d.out" % self.runs)
        return run_logged(wine_cmd() + [os.fspath(a) for a in args], self.env(env), log, timeout,
                          cwd=self.case.dir)

    def flush(self, timeout=300):
        """Waits until every program of the prefix has ended and the wineserver has written
        the registry (it ends a few seconds after its last program)."""
        stop_wineserver(self.path, wait=True, timeout=timeout)

    def stop(self):
        stop_wineserver(self.path, wait=False)

    def registry(self):
        self.flush()
        return Registry(self.path)

    def run(self, program=None, args=(), scenario="", env=None, fault=None, restart_mark=None,
            timeout=600, check=True, shots=False, name=None, cmdline=None, at_once=False):
        self.runs += 1
        name = name or "run%d" % self.runs
        d = os.path.join(self.case.dir, name)
        shutil.rmtree(d, ignore_errors=True)
        os.makedirs(d)
        scen = os.path.join(d, "scenario.txt")
        with open(scen, "w", encoding="utf-8") as f:
            f.write(dedent(scenario))
        log = os.path.join(d, "windows.jsonl")
        extra = dict(env or {})
        if fault:
            extra["ORV_FAULT"] = fault
        if restart_mark:
            extra["ORV_RESTART_MARK"] = restart_mark
        drive = win_file("orvdrive.exe")
        if not os.path.exists(drive):
            raise RuntimeError("%s is not built" % drive)
        if cmdline is not None:
            tail = ["--cmdline", cmdline]
        else:
            program = os.fspath(program)
            prog_win = self.win(program) if program.startswith("/") else program
            tail = ["--", prog_win] + [os.fspath(a) for a in args]
        cmd = wine_cmd() + [drive] + (["--shots"] if shots else []) + (["--at-once"] if at_once else []) + \
            [self.win(scen), self.win(log)] + tail
        out_path = os.path.join(d, "wine.out")
        t0 = time.time()
        with open(out_path, "wb") as out:
            out.write(("$ %s\n" % " ".join(cmd)).encode())
            out.flush()
            p = subprocess.Popen(cmd, env=self.env(extra), stdin=subprocess.DEVNULL, stdout=out,
                                 stderr=out, cwd=d)
            timed_out = False
            while p.poll() is None:
                self._serve_shots(d, name)
                if time.time() - t0 > timeout:
                    p.kill()
                    p.wait()
                    timed_out = True
                    break
                time.sleep(0.1)
            self._serve_shots(d, name)
        r = RunResult(name, p.returncode, log, out_path, time.time() - t0, timed_out)
        self.case.results.append(r)
        if check and not r.ok:
            raise AssertionError("orvdrive failed in %s: %s (the window log follows)" % (name, r.reason))
        return r

    def _serve_shots(self, d, name):
        for req in sorted(f for f in os.listdir(d) if f.endswith(".shot")):
            shot = os.path.splitext(req)[0]
            self.case.screenshot("%s-%s" % (name, shot))
            os.remove(os.path.join(d, req))


def _case_blind(base, rest):
    """The host path of a Windows path below base, matching each existing level without
    regard to case as Windows does; levels that do not exist are kept as written."""
    cur = base
    for part in [p for p in rest.split("/") if p]:
        exact = os.path.join(cur, part)
        if not os.path.lexists(exact) and os.path.isdir(cur):
            low = part.lower()
            for n in os.listdir(cur):
                if n.lower() == low:
                    exact = os.path.join(cur, n)
                    break
        cur = exact
    return cur
