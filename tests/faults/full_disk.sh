#!/usr/bin/env bash
# Runs the full-disk test on a small file system of its own: a tmpfs just
# larger than the editor, mounted for the run and removed afterwards.
# Usage: full_disk.sh <mabiru-faults.exe> <scripts/wine.sh> <mabiru-setup.exe>
# Exits 77 (ctest: skipped) when it cannot mount one.
set -uo pipefail

skipped=77
tests_exe=$1
wine_sh=$2
editor_exe=$3

if [ "$(id -u)" -ne 0 ]; then
  echo "full-disk: skipped: mounting a small file system needs root"
  exit $skipped
fi

dir=$(mktemp -d /tmp/mabiru-full-disk.XXXXXX) || exit 1
# Room for the editor, its settings file and little more; the test fills the rest.
size_kib=$(( ($(stat -c %s "$editor_exe") + 1023) / 1024 + 512 ))
if ! error=$(mount -t tmpfs -o "size=${size_kib}k,mode=0755" tmpfs "$dir" 2>&1); then
  echo "full-disk: skipped: cannot mount a tmpfs: $error"
  rmdir "$dir"
  exit $skipped
fi

cleanup() {
  # Wine may still be letting go of the editor's files for a moment.
  for _ in 1 2 3 4 5; do
    umount "$dir" 2>/dev/null && break
    sleep 1
  done
  mountpoint -q "$dir" && umount -l "$dir"
  rmdir "$dir"
}
trap cleanup EXIT

echo "full-disk: ${size_kib} KiB tmpfs on $dir"
MABIRU_FAULTS_FULL_DISK_DIR="Z:${dir//\//\\}" bash "$wine_sh" run "$tests_exe" --gtest_filter='FullDisk.*'
