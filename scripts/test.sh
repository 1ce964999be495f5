#!/usr/bin/env bash
# The whole test suite: unit tests natively and with ASan/UBSan, the fuzzers
# for a short bounded time, the unit, end-to-end and fault tests as Windows
# x86_64 programs under Wine (once with the test hooks, once against an exe
# built with exactly the shipped options), the shipped i686 build compiled
# and checked, and last the end-to-end and fault groups that need no test
# hook run as i686 programs against the very exe in the zip, under 32-bit
# Wine in an emulated Debian guest (scripts/guest/; built on the first run).
set -uo pipefail
cd "$(dirname "$0")/.."

bash scripts/bootstrap.sh || exit 1
. scripts/wine.sh

jobs=$(nproc)
presets=(native asan fuzz win64 win64-shipped win32 win32-tests)
for preset in "${presets[@]}"; do
  echo "== build: $preset"
  cmake --preset "$preset" >/dev/null || exit 1
  cmake --build --preset "$preset" -j "$jobs" || exit 1
done

start_private_display || exit 1
trap stop_wine_and_display EXIT

passed=0
failed=0
run_suite() {
  local preset=$1 log
  log=$(mktemp)
  echo "== test: $preset"
  ctest --preset "$preset" 2>&1 | tee "$log"
  local line total bad
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
  if [ -z "$line" ]; then
    echo "== $preset: ctest printed no summary"
    failed=$((failed + 1))
  else
    total=$(echo "$line" | sed -E 's/.*out of ([0-9]+).*/\1/')
    bad=$(echo "$line" | sed -E 's/.*tests passed, ([0-9]+) tests? failed.*/\1/')
    passed=$((passed + total - bad))
    failed=$((failed + bad))
  fi
  rm -f "$log"
}

for preset in native asan fuzz win64 win64-shipped; do
  run_suite "$preset"
done

# Runs one check and counts it.
count() { if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); fi; }

echo "== check: shipped i686 build"
count bash scripts/check-shipped.sh build/win32/setup/mabiru-setup.exe
count bash scripts/check-imports.sh build/win32/setup/mabiru-setup.exe scripts/shipped-imports.txt

echo "== check: release download"
contents="" zip=""
if cmake --build --preset win32 --target release >/dev/null; then
  zip=$(ls dist/mabiru-setup-*-win32.zip)
  contents=$(unzip -Z1 "$zip" | sort | tr '\n' ' ')
fi
# The zip holds the exe just built and nothing else but the guide.
if [ "$contents" = "mabiru-setup.exe readme.txt " ] &&
  unzip -p "$zip" mabiru-setup.exe | cmp -s - build/win32/setup/mabiru-setup.exe; then
  echo "release: $zip holds the shipped mabiru-setup.exe and readme.txt"
  passed=$((passed + 1))
else
  echo "release: the download is missing, incomplete or holds another exe"
  failed=$((failed + 1))
fi

echo "== check: release SHA-256 file"
count bash -c 'cd dist && sha256sum -c "$(basename "$1").sha256"' - "${zip:-none}"

echo "== check: a second build elsewhere gives the same bytes"
count bash scripts/check-reproducible.sh

echo "== test: i686 in the guest"
log=$(mktemp)
bash scripts/guest/run-i686-tests.sh build/win32-tests build/win32/setup/mabiru-setup.exe \
  "${zip:-none}" 2>&1 | tee "$log"
line=$(grep -E '^i686 in the guest: [0-9]+ passed, [0-9]+ failed$' "$log" | tail -n 1)
rm -f "$log"
if [ -z "$line" ]; then
  echo "== i686 in the guest: no result"
  failed=$((failed + 1))
else
  passed=$((passed + $(echo "$line" | sed -E 's/.*: ([0-9]+) passed.*/\1/')))
  failed=$((failed + $(echo "$line" | sed -E 's/.*, ([0-9]+) failed$/\1/')))
fi

echo "total: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
