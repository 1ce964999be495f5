#!/usr/bin/env bash
# Takes a picture of the setup dialog as a first start shows it (no settings
# file, so every field holds its default) and stores just the dialog window.
#   bash scripts/screenshot.sh [EDITOR.exe] [OUT.png] [DPI]
# Without an exe it builds the editor with the shipped options (or uses the
# one built). A DPI other than 96 gets a Wine prefix of its own, so the
# tests' prefix never sees it. Without a DISPLAY it starts its own Xvfb on a
# free display and stops it afterwards. The editor is then closed with
# Cancel (the Esc key), so it saves nothing.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/wine.sh

exe=${1:-}
out=${2:-docs/setup-dialog.png}
dpi=${3:-96}
if [ -z "$exe" ]; then
  exe=build/win64-shipped/setup/mabiru-setup.exe
  if [ ! -f "$exe" ]; then
    cmake --preset win64-shipped >/dev/null
    cmake --build --preset win64-shipped --target mabiru-setup
  fi
fi
[ -f "$exe" ] || { echo "screenshot: no editor at $exe" >&2; exit 1; }

[ "$dpi" = 96 ] || export WINEPREFIX="$WINEPREFIX-${dpi}dpi"
wine_prefix "$dpi"
start_private_display

# A folder of its own on drive C:, so the picture shows a short, tidy path
# as the default archive folder.
work="$WINEPREFIX/drive_c/MABIRU"
rm -rf "$work"
mkdir -p "$work"
cp "$exe" "$work/mabiru-setup.exe"

"$WINE64" 'C:\MABIRU\mabiru-setup.exe' >/dev/null 2>&1 &
editor_pid=$!
finish() {
  kill "$editor_pid" 2>/dev/null || true
  wait "$editor_pid" 2>/dev/null || true
  rm -rf "$work"
  stop_wine_and_display
}
trap finish EXIT

window=""
for _ in $(seq 1 200); do
  window=$(xwininfo -root -tree 2>/dev/null | awk '/"MABIRU - setup"/ { print $1; exit }')
  [ -n "$window" ] && break
  kill -0 "$editor_pid" 2>/dev/null || { echo "screenshot: the editor ended early" >&2; exit 1; }
  sleep 0.1
done
[ -n "$window" ] || { echo "screenshot: no dialog within 20 s" >&2; exit 1; }

# Shown is not yet painted: take pictures until two in a row agree.
mkdir -p "$(dirname "$out")"
previous=""
for _ in $(seq 1 20); do
  sleep 0.3
  import -window "$window" "$out.tmp.png"
  current=$(convert "$out.tmp.png" rgb:- | md5sum)
  [ "$current" = "$previous" ] && break
  previous=$current
done
mv "$out.tmp.png" "$out"
echo "screenshot: $out ($(identify -format '%wx%h' "$out"))"

# Esc is the dialog's Cancel. The key goes through XTEST to the focused
# window: Wine ignores keys sent straight to a window.
timeout 10 xdotool windowfocus --sync "$window" key Escape || true
for _ in $(seq 1 100); do
  kill -0 "$editor_pid" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$editor_pid" 2>/dev/null; then
  echo "screenshot: the editor did not close on Cancel" >&2
  exit 1
fi
wait "$editor_pid" || { echo "screenshot: the editor ended with an error on Cancel" >&2; exit 1; }
echo "screenshot: the editor closed on Cancel"
