#!/usr/bin/env bash
# Runs each fuzzer for a long time (not part of the test command):
#   bash scripts/fuzz-long.sh [seconds per target, default 600] [format inputs, default 10000000]
# The in-memory format fuzzer runs for a number of inputs instead, stopping
# at an hour (or the seconds given, if longer) should the machine be slow.
# Findings (crash-*, leak-*, timeout-* files) land in build/fuzz.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
format_runs=${2:-10000000}
bash scripts/bootstrap.sh >/dev/null
cmake --preset fuzz -DMABIRU_FUZZ_SECONDS="$seconds" -DMABIRU_FUZZ_FORMAT_RUNS="$format_runs" >/dev/null
cmake --build --preset fuzz --target fuzz_long
