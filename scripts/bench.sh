#!/usr/bin/env bash
# Prints every figure: the 64 MB settings round trip against a plain copy,
# the editor's start-up under Wine against its baselines, and the size and
# imports of the shipped i686 exe. Benchmarks, not tests: nothing here fails
# on a slow machine.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/bootstrap.sh >/dev/null
for preset in native win64-shipped win32; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$(nproc)" >/dev/null
done

echo "== settings round trip (64 MB file)"
build/native/bench/roundtrip/bench_roundtrip "$(mktemp -d)" 9

. scripts/wine.sh
start_private_display
trap stop_wine_and_display EXIT
echo "== start-up under Wine"
# The x86_64 editor with the shipped options, against baselines built alike.
bin=build/win64-shipped
"$WINE64" $bin/bench/startup/startup-bench.exe $bin/setup/mabiru-setup.exe \
  $bin/bench/startup/empty-dialog.exe $bin/bench/startup/template-only.exe \
  build/win32/setup/mabiru-setup.exe --runs 21

echo "== shipped exe"
bash scripts/check-shipped.sh build/win32/setup/mabiru-setup.exe
