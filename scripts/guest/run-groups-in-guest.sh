#!/bin/bash
# Runs in the guest, from the share: every group of groups.sh one after the
# other in this one boot, each bounded by its ctest time limit. Each leaves
# its output and exit code in out/ for scripts/guest/groups.py to count.
set -uo pipefail
. ./guest-env.sh
. ./settings.sh
mkdir -p out
# Programs run from the guest's own disk: one run straight from the share
# once started with zeroed code pages.
rm -rf /root/run
cp -r files /root/run
sha256sum /root/run/build/setup/mabiru-setup.exe >out/tested-exe.sha256
echo "guest: testing $(cut -c1-64 out/tested-exe.sha256) under $(/usr/lib/wine/wine --version)," \
  "waits x$MABIRU_WAIT_SCALE"
. /root/run/src/scripts/wine.sh
start_private_display >/dev/null || { echo "guest: no display"; exit 1; }

began=$SECONDS
group() {
  local name=$1 limit=$2 skip_code=$3 workdir=$4 start=$SECONDS code
  shift 4
  mkdir -p "$workdir"
  (cd "$workdir" && timeout -k 10 "$limit" "$@") >"out/$name.log" 2>&1 </dev/null
  code=$?
  echo "$code" >"out/$name.rc"
  local summary
  summary=$(grep -E '^\[  (PASSED|FAILED) +\] [0-9]+ tests?' "out/$name.log" | sed 's/ *listed below://' |
    tr -s ' []' ' ' | paste -sd, -)
  echo "guest: $name: exit $code in $((SECONDS - start)) s:${summary:- no summary}"
}
. ./groups.sh
echo "guest: all groups in $((SECONDS - began)) s"
stop_wine_and_display
