#!/usr/bin/env bash
# Where the guest is cached and how it boots; sourced by the guest scripts.
#   guest_key                    hash of everything the image is made from
#   guest_dir                    its cache folder (for the current key)
#   guest_boot SHARE LIMIT LOG [writable]
#                                boots it with SHARE as the 9p share, its
#                                console in LOG; killed after LIMIT seconds

guest_scripts=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
guest_repo=$(cd "$guest_scripts/../.." && pwd)
guest_cache_root="${XDG_CACHE_HOME:-$HOME/.cache}/mabiru-setup"

# The image depends on these files and on nothing else in the repo.
guest_key() {
  (
    cd "$guest_repo"
    sha256sum scripts/guest/packages.txt scripts/guest/init.sh scripts/guest/build-image.sh \
      scripts/guest/make-wine-prefix.sh scripts/guest/guest-env.sh scripts/wine.sh | sha256sum | cut -c1-16
  )
}

guest_dir() { echo "$guest_cache_root/guest-$(guest_key)"; }

# Software emulation only: this machine kind's /dev/kvm cannot run a stock
# kernel, and qemu 7.2's -cpu max oopses the guest at a 32-bit iret unless
# SMAP is off.
guest_boot() {
  local share=$1 limit=$2 log=$3 writable=${4:-} dir snapshot=on
  dir=$(guest_dir)
  [ -n "$writable" ] && snapshot=off
  : >"$log"
  qemu-system-x86_64 -accel tcg -cpu max,-smap -smp 2 -m 3072 \
    -nodefaults -display none -no-reboot -monitor none -serial "file:$log" \
    -kernel "$dir/vmlinuz" -initrd "$dir/initrd.img" \
    -append "root=/dev/vda rw console=ttyS0 quiet panic=-1 init=/usr/local/sbin/mabiru-init" \
    -drive "file=$dir/rootfs.img,format=raw,if=virtio,snapshot=$snapshot,cache=unsafe" \
    -fsdev "local,id=share,path=$share,security_model=none" \
    -device virtio-9p-pci,fsdev=share,mount_tag=share &
  guest_pid=$!
  local start=$SECONDS line
  # Show the job's own lines as they come; the rest stays in the log.
  tail -n +1 -F --pid="$guest_pid" "$log" 2>/dev/null | while IFS= read -r line; do
    line=${line%$'\r'}
    case $line in guest:*) printf '  [%4d s] %s\n' $((SECONDS - start)) "$line" ;; esac
  done &
  local shown=$!
  while kill -0 "$guest_pid" 2>/dev/null; do
    if [ $((SECONDS - start)) -ge "$limit" ]; then
      echo "guest: no end within $limit s; stopping it"
      kill "$guest_pid" 2>/dev/null || true
      break
    fi
    sleep 1
  done
  local status=0
  wait "$guest_pid" || status=$?
  wait "$shown" 2>/dev/null || true
  unset guest_pid
  return $status
}

# A guest still running when the calling script ends is stopped with it.
guest_stop() {
  if [ -n "${guest_pid:-}" ]; then
    kill "$guest_pid" 2>/dev/null || true
    wait "$guest_pid" 2>/dev/null || true
    unset guest_pid
  fi
}
