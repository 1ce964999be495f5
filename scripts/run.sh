#!/usr/bin/env bash
# Builds the editor and runs it. Only x86_64 programs can run on this kind of
# machine (32-bit Wine is not available), so the editor shown is the x86_64
# build made with exactly the shipped options (no test hooks); the shipped
# i686 exe is built beside it. Without a display it takes a picture of the
# dialog instead, says where it is and closes the editor with Cancel.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/bootstrap.sh
cmake --preset win64-shipped >/dev/null
cmake --build --preset win64-shipped -j "$(nproc)" --target mabiru-setup
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j "$(nproc)"
echo "run: shipped build at build/win32/setup/mabiru-setup.exe"

exe=build/win64-shipped/setup/mabiru-setup.exe
if [ -z "${DISPLAY:-}" ]; then
  # Nobody could see or close a window on a private display: show a
  # picture of the dialog instead.
  picture=build/run/setup-dialog.png
  echo "run: no display is set, so the editor shows its dialog on a private one for a picture"
  bash scripts/screenshot.sh "$exe" "$picture"
  echo "run: the dialog as a first start shows it: $(pwd)/$picture"
  echo "run: to use the editor live, run this on an X display or with DISPLAY set"
  echo "     (for example over ssh -X, or DISPLAY=:0 bash scripts/run.sh)"
  exit 0
fi
. scripts/wine.sh
echo "run: starting $exe (it edits $(dirname "$exe")/mabiru.dat)"
"$WINE64" "$exe"
