"""Installers made in seconds: a payload packed and resources written into a copy of the stub."""
import os
import re
import shutil

from .env import PAYLOAD_TIME, Skip, build_dir, run_logged, win_file


def orv_tool():
    """The host build's publisher command, ``orv``."""
    path = os.path.join(build_dir(), "orv")
    if not os.path.exists(path):
        raise Skip("orv is not built")
    return path


class Product:
    def __init__(self, case, script=None, licence=None, payload=None, order=None, times=None,
                 resources=None, omit=(), uninstall=None, test=True):
        self.case = case
        self.script = script
        self.licence = licence
        self.payload = payload or {}
        self.order = order
        self.times = times or {}
        self.resources = resources or {}
        self.omit = set(omit)
        self.uninstall = uninstall
        self.test = test
        self.count = 0

    def pack(self, name="product"):
        d = os.path.join(self.case.dir, name)
        shutil.rmtree(d, ignore_errors=True)
        pay = os.path.join(d, "payload")
        out = os.path.join(d, "out")
        os.makedirs(pay)
        os.makedirs(out)
        for rel, data in self.payload.items():
            h = os.path.join(pay, *re.split(r"[\\/]", rel))
            os.makedirs(os.path.dirname(h), exist_ok=True)
            if isinstance(data, (bytes, bytearray)):
                with open(h, "wb") as f:
                    f.write(data)
            else:
                shutil.copyfile(os.fspath(data), h)
            t = self.times.get(rel, PAYLOAD_TIME)
            os.utime(h, (t, t))
        cmd = [orv_tool(), "pack"]
        if self.order is not None:
            of = os.path.join(d, "order.txt")
            with open(of, "w") as f:
                f.write("".join(n.replace("/", "\\") + "\n" for n in self.order))
            cmd += ["--order", of]
        cmd += [pay, out]
        log = os.path.join(d, "pack.out")
        rc = run_logged(cmd, dict(os.environ), log, timeout=300)
        if rc != 0:
            raise AssertionError("orv pack failed (%s):\n%s" % (rc, open(log).read()))
        return out

    def build(self, name="setup.exe"):
        self.count += 1
        d = os.path.join(self.case.dir, os.path.splitext(name)[0] + ".res")
        shutil.rmtree(d, ignore_errors=True)
        os.makedirs(d)
        res = {}
        if self.payload or not ({"FILELIST", "DATA"} <= set(self.resources) | self.omit):
            packed = self.pack(os.path.splitext(name)[0] + ".product")
            res["FILELIST"] = os.path.join(packed, "FILELIST")
            res["DATA"] = os.path.join(packed, "DATA")
        for rname, val in (("SCRIPT", self.script), ("LICENCE", self.licence)):
            if val is not None:
                res[rname] = val
        if self.uninstall is not None:
            res["UNINSTALL"] = self.uninstall
        res.update(self.resources)
        for o in self.omit:
            res.pop(o, None)
        if "UNINSTALL" not in res and "UNINSTALL" not in self.omit:
            res["UNINSTALL"] = win_file("uninstall_ft.exe" if self.test else "uninstall.exe")
        args = []
        for rname, val in res.items():
            if isinstance(val, str) and rname in ("SCRIPT", "LICENCE"):
                val = val.encode("cp1252")
            if isinstance(val, (bytes, bytearray)):
                p = os.path.join(d, rname)
                with open(p, "wb") as f:
                    f.write(val)
                val = p
            args.append("%s=%s" % (rname, os.fspath(val)))
        out = os.path.join(self.case.dir, name)
        stub = win_file("install_stub_ft.exe" if self.test else "install_stub.exe")
        cmd = [orv_tool(), "resources", "--stub", stub, "-o", out] + args
        log = os.path.join(d, "make.out")
        rc = run_logged(cmd, dict(os.environ), log, timeout=300)
        if rc != 0:
            raise AssertionError("orv resources failed (%s):\n%s" % (rc, open(log).read()))
        return out
