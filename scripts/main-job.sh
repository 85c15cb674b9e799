#!/usr/bin/env bash
# The main job: installs what is missing, builds everything in build/, then runs the example
# product's installer end to end under Wine in a fresh prefix, inside a Wine virtual desktop
# (frames, captions, the maximised setup window, as on Windows), headless through Xvfb when
# there is no DISPLAY: every dialog is answered with its default
# button and photographed (build/main-job/), what was installed is printed, the uninstaller
# is run from the Add/Remove Programs entry, and what is left is printed.
# It goes as far as the built parts allow and says where it stopped.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD

bash scripts/setup-deps.sh || exit 1
cmake -S . -B build || exit 1
if ! cmake --build build -j2; then
  echo "main job: the build failed (output above); going on with what was built"
fi

export ORV_BUILD_DIR=$root/build ORV_SOURCE_DIR=$root PYTHONDONTWRITEBYTECODE=1
# The build the end-to-end tests run: the shipped 32-bit one where the machine runs 32-bit
# code itself, else the 64-bit build of the same sources (ORV_E2E_ARCH=win32 forces the
# 32-bit prefix, ORV_MAIN_JOB_SHIPPED=1 the shipped installer in whatever prefix; under
# qemu emulation each dialog then takes minutes).
if [ -n "${DISPLAY:-}" ]; then
  export ORV_E2E_DISPLAY=$DISPLAY
fi
# Xvfb (unless there is a display) and the template prefix.
python3 tests/e2e/run.py --setup || { echo "main job: stopped: no Wine prefix"; exit 1; }
python3 tests/e2e/main_job.py
status=$?
python3 tests/e2e/run.py --cleanup >/dev/null 2>&1
exit $status
