#!/usr/bin/env bash
# Creates the private Wine prefix the tests and the editor run in, once.
# Settings: no window manager wait, no crash dialog, a Japanese font for the
# dialog's face name.
set -euo pipefail
. "$(dirname "$0")/wine-env.sh"

stamp="$WINEPREFIX/.mabiru-prefix-v1"
[ -f "$stamp" ] && exit 0

echo "wine-prefix: creating $WINEPREFIX"
mkdir -p "$WINEPREFIX"
"$WINE64" wineboot -i >/dev/null 2>&1 || true
"$WINESERVER_BIN" -w || true

reg_file=$(mktemp --suffix=.reg)
trap 'rm -f "$reg_file" "$reg_file.utf8"' EXIT
cat >"$reg_file.utf8" <<'REG'
Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Managed"="N"
"Decorated"="Y"

[HKEY_CURRENT_USER\Software\Wine\WineDbg]
"ShowCrashDialog"=dword:00000000

[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]
"ＭＳ Ｐゴシック"="IPAPGothic"
"ＭＳ ゴシック"="IPAGothic"
"MS UI Gothic"="IPAPGothic"
REG
# regedit reads version 5 files as UTF-16 with a byte-order mark.
{ printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE "$reg_file.utf8"; } >"$reg_file"
"$WINE64" regedit /S "Z:${reg_file//\//\\}" >/dev/null 2>&1
"$WINESERVER_BIN" -w || true
touch "$stamp"
echo "wine-prefix: ready"
