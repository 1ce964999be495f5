#!/usr/bin/env bash
# Builds the Debian 12 guest that runs the i686 tests under 32-bit Wine, once:
# it is cached in the user's cache folder under a hash of everything it is
# made from (scripts/guest/boot.sh: guest_key) and rebuilt only when that
# changes. Needs root for mmdebstrap; takes some minutes the first time.
#   bash scripts/guest/build-image.sh        prints the cached guest's folder
set -euo pipefail
. "$(dirname "$0")/boot.sh"

dir=$(guest_dir)
if [ -f "$dir/ready" ]; then
  echo "guest: cached in $dir"
  exit 0
fi

as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

stage_start=$SECONDS
stage() {
  echo "guest: $1"
  stage_start=$SECONDS
}
stage_done() { echo "guest:   done in $((SECONDS - stage_start)) s"; }

mkdir -p "$guest_cache_root"
# Guests of other keys are out of date; they are ours and large.
for old in "$guest_cache_root"/guest-*; do
  [ -e "$old" ] && [ "$old" != "$dir" ] && { echo "guest: removing old $old"; as_root rm -rf "$old"; }
done
work="$dir.partial"
as_root rm -rf "$work"
mkdir -p "$work"
trap 'guest_stop; as_root rm -rf "$work/root" "$work/share"' EXIT
trap 'exit 130' INT TERM
began=$SECONDS
echo "guest: building a Debian 12 guest in $dir (first run only; some minutes)"

# The host's own apt sources, so the guest gets exactly what this machine can reach.
sources=()
for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
  [ -s "$f" ] && sources+=("$f")
done
include=$(grep -v '^\s*#' "$guest_scripts/packages.txt" | xargs | tr ' ' ',')

bootstrap() {
  as_root rm -rf "$work/root"
  as_root mmdebstrap --quiet --variant=minbase --architectures=amd64,i386 \
    --include="$include" \
    --customize-hook='sed -i "s/^# *\(ja_JP.UTF-8 UTF-8\)/\1/" "$1/etc/locale.gen"' \
    --customize-hook='chroot "$1" locale-gen' \
    --customize-hook="install -m 0755 '$guest_scripts/init.sh' \"\$1/usr/local/sbin/mabiru-init\"" \
    --customize-hook='rm -rf "$1"/var/cache/apt/archives/*.deb "$1"/var/lib/apt/lists/*' \
    bookworm "$work/root" "$@"
}

stage "1/3 installing the packages (mmdebstrap)"
# A mirror caught mid-sync serves an index that does not match its release
# file, for the i386 security index more often than not: try again, and at
# last build from bookworm's main archive alone, which holds the Wine the
# guest needs: the one that the host's own sources name for it.
if ! bootstrap "${sources[@]}"; then
  echo "guest: the package indexes did not download; trying again in 30 s"
  sleep 30
  if ! bootstrap "${sources[@]}"; then
    archive=$(apt-get indextargets --format '$(REPO_URI)' 'Release: bookworm' \
      'Component: main' 'Target-Of: deb' 2>/dev/null | head -n 1 || true)
    if [ -z "$archive" ]; then
      echo "guest: this machine's apt sources name no archive of bookworm main"
      exit 1
    fi
    echo "guest: building from bookworm's main archive alone"
    bootstrap "deb $archive bookworm main"
  fi
fi
stage_done

stage "2/3 making the disk image"
as_root cp "$work/root"/boot/vmlinuz-* "$work/vmlinuz"
as_root cp "$work/root"/boot/initrd.img-* "$work/initrd.img"
used_mib=$(as_root du -sm "$work/root" | cut -f1)
# Room for the Wine prefix and for what the tests write.
as_root mkfs.ext4 -q -L mabiru-guest -d "$work/root" "$work/rootfs.img" "$((used_mib + 1536))M" >/dev/null
as_root rm -rf "$work/root"
as_root chown "$(id -u):$(id -g)" "$work/rootfs.img" "$work/vmlinuz" "$work/initrd.img"
stage_done

stage "3/3 creating the Wine prefix inside it (one boot)"
mkdir -p "$work/share"
cp "$guest_scripts/make-wine-prefix.sh" "$work/share/job.sh"
cp "$guest_scripts/guest-env.sh" "$guest_repo/scripts/wine.sh" "$work/share/"
# The boot reads the kernel and image from the folder being built.
guest_dir() { echo "$work"; }
guest_boot "$work/share" 1800 "$work/console.log" writable || true
if [ ! -f "$work/share/done" ]; then
  echo "guest: the Wine prefix was not created; the guest's console:"
  tail -n 40 "$work/console.log"
  exit 1
fi
stage_done

rm -rf "$work/share"
touch "$work/ready"
as_root rm -rf "$dir"
mv "$work" "$dir"
echo "guest: ready in $((SECONDS - began)) s: $dir ($(du -sh "$dir" | cut -f1) on disk)"
