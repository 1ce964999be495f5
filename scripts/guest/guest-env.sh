# The guest's Wine: the 32-bit loader and its prefix inside the image. Read
# by scripts/wine.sh, which the guest shares with the host.
export MABIRU_WINEARCH=win32
export MABIRU_WINE64=/usr/lib/wine/wine
export MABIRU_WINEPREFIX=/opt/mabiru/wineprefix
