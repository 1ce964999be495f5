#!/usr/bin/env bash
# The Windows side of this machine in one place: a private Wine prefix, the
# Japanese locale (ANSI code page 932), the 64-bit loader and a private
# Xvfb display. The test guest sets MABIRU_WINEARCH=win32 and points
# MABIRU_WINE64 at the 32-bit loader (scripts/guest/guest-env.sh).
#   . scripts/wine.sh                        variables and functions below
#   bash scripts/wine.sh run PROGRAM ARGS... one Windows x86_64 program (ctest's emulator)
#   bash scripts/wine.sh prefix              create the prefix now

wine_repo_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX="${MABIRU_WINEPREFIX:-$wine_repo_root/build/wineprefix}"
export WINEARCH="${MABIRU_WINEARCH:-win64}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml="
export LC_ALL=ja_JP.UTF-8
# Debian keeps the 64-bit loader out of PATH; the one on PATH may be the 32-bit one.
WINE64="${MABIRU_WINE64:-/usr/lib/wine/wine64}"
[ -x "$WINE64" ] || WINE64=$(command -v wine64 || true)
# The server of the prefix, to wait for it or stop it.
WINESERVER_BIN="$(dirname "$WINE64")/wineserver"
[ -x "$WINESERVER_BIN" ] || WINESERVER_BIN=$(command -v wineserver || echo true)
export WINE64 WINESERVER_BIN

# Creates $WINEPREFIX once, at DPI dots per inch (96 unless given): no window
# manager wait, no crash dialog, a Japanese font for the dialog's face name.
wine_prefix() {
  local dpi=${1:-96}
  local stamp="$WINEPREFIX/.mabiru-prefix-v2-$dpi"
  [ -f "$stamp" ] && return 0
  echo "wine: creating $WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  "$WINE64" wineboot -i >/dev/null 2>&1 || true
  "$WINESERVER_BIN" -w || true
  local reg
  reg=$(mktemp --suffix=.reg) || return 1
  # regedit reads version 5 files as UTF-16 with a byte-order mark.
  { printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE <<REG; } >"$reg"
Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]
"Managed"="N"
"Decorated"="Y"

[HKEY_CURRENT_USER\\Software\\Wine\\WineDbg]
"ShowCrashDialog"=dword:00000000

[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]
"ＭＳ Ｐゴシック"="IPAPGothic"
"ＭＳ ゴシック"="IPAGothic"
"MS UI Gothic"="IPAPGothic"

[HKEY_CURRENT_USER\\Control Panel\\Desktop]
"LogPixels"=dword:$(printf '%08x' "$dpi")
REG
  "$WINE64" regedit /S "Z:${reg//\//\\}" >/dev/null 2>&1
  "$WINESERVER_BIN" -w || true
  rm -f "$reg"
  touch "$stamp"
}

# Starts a private Xvfb on a free display unless DISPLAY is set.
start_private_display() {
  [ -n "${DISPLAY:-}" ] && return 0
  local n waited=0
  for n in $(seq 90 140); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] || break
  done
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  MABIRU_XVFB_PID=$!
  while [ ! -e "/tmp/.X11-unix/X$n" ]; do
    sleep 0.1
    waited=$((waited + 1))
    if [ $waited -gt 100 ]; then
      echo "wine: display :$n did not come up" >&2
      return 1
    fi
  done
  export DISPLAY=":$n"
  echo "wine: private display $DISPLAY"
}

# Stops the Wine server of the prefix and the display started above.
stop_wine_and_display() {
  "$WINESERVER_BIN" -k >/dev/null 2>&1 || true
  if [ -n "${MABIRU_XVFB_PID:-}" ]; then
    kill "$MABIRU_XVFB_PID" 2>/dev/null || true
    wait "$MABIRU_XVFB_PID" 2>/dev/null || true
    unset MABIRU_XVFB_PID
  fi
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  set -euo pipefail
  case "${1:-}" in
  run) shift; exec "$WINE64" "$@" ;;
  prefix) wine_prefix "${2:-96}" ;;
  *) echo "usage: bash scripts/wine.sh run PROGRAM ARGS... | prefix [DPI]" >&2; exit 2 ;;
  esac
fi
