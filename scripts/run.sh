#!/usr/bin/env bash
# Builds the editor and runs it. Only x86_64 programs can run on this kind of
# machine (32-bit Wine is not available), so the editor shown is the x86_64
# build made with exactly the shipped options (no test hooks); the shipped
# i686 exe is built beside it.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/bootstrap.sh
cmake --preset win64-shipped >/dev/null
cmake --build --preset win64-shipped -j "$(nproc)" --target mabiru-setup
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j "$(nproc)"
echo "run: shipped build at build/win32/setup/mabiru-setup.exe"

. scripts/wine.sh
if [ -z "${DISPLAY:-}" ]; then
  echo "run: no display is set; the editor runs on a private Xvfb display you cannot see"
  start_private_display
  trap stop_wine_and_display EXIT
fi
exe=build/win64-shipped/setup/mabiru-setup.exe
echo "run: starting $exe (it edits $(dirname "$exe")/mabiru.dat)"
"$WINE64" "$exe"
