#!/usr/bin/env bash
# The fault loop (not part of the two everyday commands): every call of every platform
# operation of the fault seam fails once, in a fresh Wine prefix each time, for the example
# product's installation, a product with a driver on nt40 and the uninstaller; after each
# run the prefix is compared with the state before. Prints a table per subject.
#   scripts/fault-loop.sh [--first-only] [--ops A,B] [--skip-ops A,B] [--max-runs N]
#                         [--max-calls N [--sample K]] [-j N]
#                         [--subjects install,driver,uninstall] [--json FILE]
# Needs a build in build/ (cmake -S . -B build && cmake --build build -j2), or BUILD=dir.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${BUILD:-$root/build}
export ORV_BUILD_DIR=$build ORV_SOURCE_DIR=$root PYTHONDONTWRITEBYTECODE=1
if [ -n "${DISPLAY:-}" ] && [ -z "${ORV_E2E_DISPLAY:-}" ]; then
  export ORV_E2E_DISPLAY=$DISPLAY
fi
# Xvfb (unless there is a display) and the template prefix.
python3 tests/e2e/run.py --setup >/dev/null || { echo "fault loop: no Wine prefix" >&2; exit 1; }
python3 tests/e2e/fault_loop.py "$@"
status=$?
python3 tests/e2e/run.py --cleanup >/dev/null 2>&1
exit $status
