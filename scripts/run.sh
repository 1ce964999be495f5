#!/usr/bin/env bash
# Builds everything and runs the editor. Only the x86_64 build can run on this
# kind of machine (32-bit Wine is not available), so the editor shown is the
# x86_64 build of the same sources; the shipped i686 exe is built beside it.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/bootstrap.sh
for preset in win64 win32; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$(nproc)"
done
echo "run: shipped build at build/win32/setup/mabiru-setup.exe"

. scripts/wine.sh
if [ -z "${DISPLAY:-}" ]; then
  echo "run: no display is set; the editor runs on a private Xvfb display you cannot see"
  start_private_display
  trap stop_wine_and_display EXIT
fi
echo "run: starting build/win64/setup/mabiru-setup.exe (it edits build/win64/setup/mabiru.dat)"
"$WINE64" build/win64/setup/mabiru-setup.exe
