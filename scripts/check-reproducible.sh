#!/usr/bin/env bash
# Builds the release again from a copy of the sources in another folder and
# compares its exe and zip byte for byte with build/win32's and dist/'s:
# a download anyone can rebuild and check.
set -euo pipefail
cd "$(dirname "$0")/.."

zip=$(ls dist/mabiru-setup-*-win32.zip)
again=$(mktemp -d /tmp/mabiru-again.XXXXXX)
trap 'rm -rf "$again"' EXIT
mkdir "$again/src"
tar --exclude=./build --exclude=./dist --exclude=./.git -cf - . | tar -xf - -C "$again/src"
(
  cd "$again/src"
  cmake --preset win32 -DMABIRU_DIST_DIR="$again/dist" >/dev/null
  cmake --build --preset win32 -j "$(nproc)" --target release >/dev/null
)

status=0
for pair in "build/win32/setup/mabiru-setup.exe $again/src/build/win32/setup/mabiru-setup.exe" \
            "$zip $again/dist/$(basename "$zip")"; do
  set -- $pair
  if cmp "$1" "$2"; then
    echo "reproducible: $1 is byte-identical in the second build"
  else
    echo "reproducible: $1 differs in a second build from $again/src"
    status=1
  fi
done
exit $status
