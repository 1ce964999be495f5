#!/usr/bin/env bash
# Runs the i686 end-to-end and fault test groups against the shipped exe in
# the test guest (Debian 12, 32-bit Wine, emulated by qemu): builds the
# guest first if it is not cached, boots it once for every group and ends
# with the line "i686 in the guest: N passed, N failed".
#   bash scripts/guest/run-i686-tests.sh TESTS_BUILD SHIPPED_EXE ZIP
# TESTS_BUILD is the win32-tests build. MABIRU_WAIT_SCALE stretches the
# tests' waits (default 4, for emulation); MABIRU_GUEST_TIMEOUT bounds the
# whole boot in seconds (default 2400); MABIRU_GUEST_GROUPS, a regular
# expression, runs only the groups whose names match.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/boot.sh"

build=$(cd "$1" && pwd)
shipped=$2
zip=$3

fail() {
  echo "i686: $1"
  echo "i686 in the guest: 0 passed, 1 failed"
  exit 1
}

zip_sha=$(unzip -p "$zip" mabiru-setup.exe | sha256sum | cut -c1-64) || fail "cannot read $zip"
[ "$(sha256sum <"$shipped" | cut -c1-64)" = "$zip_sha" ] ||
  fail "$shipped is not the exe in $zip"

bash "$here/build-image.sh" || fail "the guest could not be built"

share=$(mktemp -d /tmp/mabiru-guest-share.XXXXXX)
trap 'guest_stop; rm -rf "$share"' EXIT
trap 'exit 130' INT TERM
python3 "$here/groups.py" stage "$build" "$shipped" "$share"
cp "$here/run-groups-in-guest.sh" "$share/job.sh"
cp "$here/guest-env.sh" "$share/"
echo "export MABIRU_WAIT_SCALE=${MABIRU_WAIT_SCALE:-4}" >"$share/settings.sh"

# The console log stays for a look after a failure.
log_dir="$guest_repo/build/guest"
mkdir -p "$log_dir"
limit=${MABIRU_GUEST_TIMEOUT:-2400}
echo "i686: booting the guest (at most $limit s); console in $log_dir/console.log"
started=$SECONDS
guest_boot "$share" "$limit" "$log_dir/console.log" || echo "i686: qemu ended with an error"
echo "i686: the guest ran $((SECONDS - started)) s"
rm -rf "$log_dir/out"
cp -r "$share/out" "$log_dir/out" 2>/dev/null || true
python3 "$here/groups.py" tally "$share" "$zip_sha"
