#!/usr/bin/env python3
"""Runs one fuzz harness for ctest.

  run.py regress HARNESS FUZZ_DIR   every kept input of the harness (FUZZ_DIR/regress/NAME/)
                                    and its seeds, each once
  run.py sample HARNESS FUZZ_DIR    a short sampled run from the seeds and the kept inputs
                                    (ORV_FUZZ_SECONDS, default 11)

Both with a memory limit of 256 MB for the process and for any one allocation, so that an
input that makes the code take more fails the test. A failing input is left in the build
directory (fuzz/artifacts/) and named in the output.
"""
import os
import shutil
import subprocess
import sys
import tempfile

LIMITS = ["-rss_limit_mb=256", "-malloc_limit_mb=256", "-timeout=10"]
# AddressSanitizer keeps freed memory aside (256 MB by default), which the process's limit
# would count as if the code held it.
ENV = dict(os.environ, ASAN_OPTIONS="quarantine_size_mb=32:detect_leaks=1")


def main():
    mode, harness, root = sys.argv[1:4]
    name = os.path.basename(harness)
    if not os.path.exists(harness):
        print("fuzz: %s was not built (clang and libFuzzer: scripts/setup-deps.sh)" % harness)
        return 1
    inputs = []
    for kind in ("regress", "seeds"):
        d = os.path.join(root, kind, name)
        if os.path.isdir(d):
            inputs += [os.path.join(d, f) for f in sorted(os.listdir(d))]
    artifacts = os.path.join(os.path.dirname(harness), "artifacts")
    os.makedirs(artifacts, exist_ok=True)
    prefix = "-artifact_prefix=" + os.path.join(artifacts, name + "-")
    if mode == "regress":
        if not inputs:
            print("fuzz: %s has no kept inputs" % name)
            return 1
        r = subprocess.run([harness, prefix] + LIMITS + inputs, env=ENV)
        return r.returncode
    with tempfile.TemporaryDirectory() as corpus:
        for i, f in enumerate(inputs):
            shutil.copy(f, os.path.join(corpus, "%04d" % i))
        seconds = os.environ.get("ORV_FUZZ_SECONDS", "11")
        r = subprocess.run([harness, prefix, "-max_total_time=" + seconds, "-print_final_stats=1"] + LIMITS + [corpus], env=ENV)
        return r.returncode


if __name__ == "__main__":
    sys.exit(main())
