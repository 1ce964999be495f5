#!/usr/bin/env bash
# Makes the download from a fresh clone: dist/mabiru-setup-<version>-win32.zip.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/bootstrap.sh
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j "$(nproc)" --target release
