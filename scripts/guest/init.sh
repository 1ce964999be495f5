#!/bin/bash
# The guest's first and only process: no service manager, just what Wine and
# the tests need, then the job that the host left on the share, then power
# off. Whatever happens, the machine stops, so the host never waits forever.
export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
export HOME=/root LANG=C.UTF-8

mountpoint -q /proc || mount -t proc proc /proc
mountpoint -q /sys || mount -t sysfs sysfs /sys
mountpoint -q /dev || mount -t devtmpfs devtmpfs /dev
mkdir -p /dev/pts /dev/shm
mountpoint -q /dev/pts || mount -t devpts devpts /dev/pts
mountpoint -q /dev/shm || mount -t tmpfs tmpfs /dev/shm
mountpoint -q /run || mount -t tmpfs tmpfs /run
mount -t tmpfs tmpfs /tmp
hostname mabiru-guest

echo "guest: up after $(cut -d' ' -f1 /proc/uptime) s"
mkdir -p /mnt/share
if modprobe -a 9pnet_virtio 9p &&
  mount -t 9p -o trans=virtio,version=9p2000.L,msize=262144 share /mnt/share; then
  if [ -f /mnt/share/job.sh ]; then
    (cd /mnt/share && bash ./job.sh) </dev/null
    echo "guest: job ended with $?"
  else
    echo "guest: the share holds no job.sh"
  fi
  sync
  umount /mnt/share
else
  echo "guest: cannot mount the host's share"
fi
sync
echo o >/proc/sysrq-trigger
sleep 10
