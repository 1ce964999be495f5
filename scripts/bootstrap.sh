#!/usr/bin/env bash
# Installs everything the build and the tests need on a fresh Debian 12 machine
# (with qemu and mmdebstrap for the i686 test guest, which scripts/guest/
# builds itself) and prepares the private Wine prefix. Safe to run again: it only adds what is missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  googletest libgtest-dev
  clang libclang-rt-14-dev clang-format
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64
  wine wine64
  xvfb x11-utils imagemagick xdotool
  locales fonts-ipafont-gothic
  zip unzip
  python3
  qemu-system-x86 mmdebstrap e2fsprogs
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

if [ ${#missing[@]} -gt 0 ]; then
  echo "bootstrap: installing ${missing[*]}"
  as_root apt-get update
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
fi

# The editor runs with the Japanese ANSI code page; Wine takes it from the locale.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
  echo "bootstrap: generating ja_JP.UTF-8"
  as_root sed -i 's/^# *\(ja_JP.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' | as_root tee -a /etc/locale.gen >/dev/null
  as_root locale-gen
fi

# Debian's win32-thread compilers need no libwinpthread DLL at run time.
for t in i686-w64-mingw32 x86_64-w64-mingw32; do
  for tool in gcc g++; do
    if [ -x "/usr/bin/$t-$tool-win32" ]; then
      as_root update-alternatives --set "$t-$tool" "/usr/bin/$t-$tool-win32" >/dev/null 2>&1 || true
    fi
  done
done

bash "$(dirname "$0")/wine.sh" prefix
echo "bootstrap: ready"
