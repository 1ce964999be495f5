# Sourced by the scripts that run Windows programs: one place for the private
# Wine prefix, the Japanese locale (ANSI code page 932) and the 64-bit loader.
repo_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX="${MABIRU_WINEPREFIX:-$repo_root/build/wineprefix}"
export WINEARCH=win64
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml="
export LC_ALL=ja_JP.UTF-8
# Debian keeps the 64-bit loader out of PATH; the one on PATH may be the 32-bit one.
WINE64="${MABIRU_WINE64:-/usr/lib/wine/wine64}"
[ -x "$WINE64" ] || WINE64=$(command -v wine64 || true)
export WINE64
# The server of the prefix, to wait for it or stop it.
WINESERVER_BIN="$(dirname "$WINE64")/wineserver"
[ -x "$WINESERVER_BIN" ] || WINESERVER_BIN=$(command -v wineserver || echo true)
export WINESERVER_BIN
