#!/usr/bin/env bash
# Products of gigabytes installed under 32-bit Wine (not a test, not CI): installation time
# and the installer's peak private memory for about 50 MB, 1.2 GB and 3 GB of payload,
# generated at run time from the corpus's large set and deleted afterwards. Needs the host
# build and the corpus (scripts/bench.sh installs its packages). Runs under nice.
#
#   scripts/bench-large.sh [SIZES]      SIZES in MB, default 50,1200,3000
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
exec nice -n 10 python3 "$ROOT/scripts/bench-large.py" --sizes "${1:-50,1200,3000}"
