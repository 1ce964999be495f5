#!/usr/bin/env bash
# Runs each fuzzer for a long time (not part of the test command):
#   bash scripts/fuzz-long.sh [seconds per target, default 600]
# Findings (crash-*, leak-*, timeout-* files) land in build/fuzz.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
bash scripts/bootstrap.sh >/dev/null
cmake --preset fuzz -DMABIRU_FUZZ_SECONDS="$seconds" >/dev/null
cmake --build --preset fuzz --target fuzz_long
