#!/usr/bin/env bash
# Runs one Windows x86_64 program in the private prefix with code page 932.
# ctest uses it as the cross-compiling emulator.
set -euo pipefail
. "$(dirname "$0")/wine-env.sh"
exec "$WINE64" "$@"
