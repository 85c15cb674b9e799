"""The test case: its work directory, prefixes, products, artefacts and the end of a test."""
import contextlib
import os
import re
import shutil

from .env import Skip, display, e2e_dir, run_logged
from .products import Product
from .templates import changed_shared_files, copy_prefix, make_template, template_dir
from .prefix import Prefix


class Case:
    def __init__(self, name):
        self.name = name
        self.dir = os.path.join(e2e_dir(), "work", name)
        shutil.rmtree(self.dir, ignore_errors=True)
        os.makedirs(self.dir)
        self.prefixes = []
        self.results = []
        self.shots = 0
        self.artefact_dir = os.path.join(e2e_dir(), "artefacts", name)

    def prefix(self, version="default"):
        tpl = make_template(version)
        path = os.path.join(self.dir, "prefix%d" % (len(self.prefixes) + 1))
        p = Prefix(self, path, version)
        p.shared = copy_prefix(tpl, path)
        self.prefixes.append(p)
        return p

    def product(self, **kw):
        return Product(self, **kw)

    def need(self, path):
        if not os.path.exists(path):
            raise Skip("%s is not built" % path)
        return path

    def artefact(self, name):
        d = self.artefact_dir
        os.makedirs(d, exist_ok=True)
        return os.path.join(d, name)

    def screenshot(self, name):
        self.shots += 1
        out = self.artefact("%02d-%s.png" % (self.shots, re.sub(r"[^\w.-]+", "_", name)))
        env = dict(os.environ)
        env["DISPLAY"] = display()
        rc = run_logged(["import", "-window", "root", out], env,
                        os.path.join(self.dir, "screenshots.out"), timeout=60)
        return out if rc == 0 else None

    def finish(self, passed):
        for p in self.prefixes:
            with contextlib.suppress(Exception):
                p.stop()
        broken = [f for p in self.prefixes for f in changed_shared_files(p)]
        if broken:
            # The template is spoilt for every later test: make it again next time.
            for v in {p.version for p in self.prefixes}:
                with contextlib.suppress(FileNotFoundError):
                    os.remove(os.path.join(template_dir(v), ".orv-template"))
            print("the test wrote into files it shares with the template prefix: %s" % broken[:10])
            passed = False
        if passed and os.environ.get("ORV_E2E_KEEP") != "1":
            for p in self.prefixes:
                shutil.rmtree(p.path, ignore_errors=True)
        return passed
