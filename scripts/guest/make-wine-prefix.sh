#!/bin/bash
# Runs in the guest while its image is built: creates the 32-bit Wine prefix
# once, with the settings of scripts/wine.sh, so that no test run pays for it.
# Leaves "done" on the share when it worked.
set -euo pipefail
. ./guest-env.sh
. ./wine.sh
echo "guest: creating the Wine prefix $WINEPREFIX ($("$WINE64" --version))"
wine_prefix 96
# wineboot and regedit both report success even when nothing got written.
grep -q '"Managed"="N"' "$WINEPREFIX/user.reg"
grep -q 'IPAPGothic' "$WINEPREFIX/user.reg"
touch done
