#!/usr/bin/env bash
# The test command: installs what is missing, builds everything in build/ and runs every
# test, unit and end-to-end, in parallel. Exits with ctest's status.
#   ORV_TEST_JOBS    parallel tests (default 3)
#   ctest arguments may follow, e.g. scripts/run-tests.sh -L unit
set -uo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup-deps.sh || exit 1
cmake -S . -B build || exit 1
cmake --build build -j2 || exit 1
ctest --test-dir build -j"${ORV_TEST_JOBS:-3}" --output-on-failure "$@"
