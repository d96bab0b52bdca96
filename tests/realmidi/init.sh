#!/bin/busybox sh
# shellcheck shell=dash
# /init of the guest's initramfs (busybox sh, PID 1). vm.sh packs it with busybox and the
# modules that the 9p file system over virtio-pci needs.
#
# It mounts the host's root file system (9p tag "hostroot", read-only) at /newroot, lays
# writable file systems over it, mounts the run's work folder (tag "vmwork") at /run/vm and
# the writable host folders listed in /run/vm/mounts, then runs /run/vm/guest.sh chrooted
# into the host's root. PID 1 stays here so that it can always power the machine off: the
# guest's exit status travels back in /run/vm/status, since qemu exits 0 on every power-off.

/bin/busybox --install -s /bin
export PATH=/bin

nr=/newroot
opts_9p=trans=virtio,version=9p2000.L,msize=512000

# Stops the machine. If power-off itself fails, init exits: the kernel panics, and with
# panic=-1 and qemu's -no-reboot that also ends qemu.
halt_now() {
    sync
    poweroff -f
    exit 1
}

# fail MESSAGE: the harness itself failed; vm.sh reads the message from the console log.
fail() {
    echo "vm-init: $*"
    if [ -d "$nr/run/vm" ] && [ ! -e "$nr/run/vm/status" ] && [ ! -e "$nr/run/vm/harness-error" ]; then
        echo "vm-init: $*" >"$nr/run/vm/harness-error"
    fi
    halt_now
}

mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev

while read -r m; do
    insmod "/lib/modules/$m" || fail "cannot load $m"
done </modules.order

mount -t 9p -o "ro,$opts_9p,cache=loose" hostroot "$nr" || fail "cannot mount the host's root (9p)"

# Writable places over the read-only host root. /tmp/home is HOME.
mount -t tmpfs -o mode=0755 tmpfs "$nr/run" || fail "cannot mount /run"
mount -t tmpfs -o mode=1777 tmpfs "$nr/tmp" || fail "cannot mount /tmp"
mount -t tmpfs -o mode=1777 tmpfs "$nr/var/tmp" || fail "cannot mount /var/tmp"
mkdir -p "$nr/run/vm" "$nr/run/lock" "$nr/tmp/home"
mount -t 9p -o "$opts_9p" vmwork "$nr/run/vm" || fail "cannot mount the work folder (9p)"

mount -t proc proc "$nr/proc"
mount -t sysfs sysfs "$nr/sys"
mount -t devtmpfs devtmpfs "$nr/dev"
mkdir -p "$nr/dev/pts" "$nr/dev/shm"
mount -t devpts -o gid=5,mode=620,ptmxmode=666 devpts "$nr/dev/pts"
mount -t tmpfs -o mode=1777 tmpfs "$nr/dev/shm"

# One line per writable host folder: the 9p tag, then the folder's path (the same path in the
# guest as on the host). vm.sh lists parents before the folders inside them.
while read -r tag path; do
    [ -n "$tag" ] || continue
    # A folder under the guest's own /tmp, /var/tmp or /run must first be made there.
    [ -d "$nr$path" ] || mkdir -p "$nr$path" || fail "cannot make $path"
    mount -t 9p -o "$opts_9p" "$tag" "$nr$path" || fail "cannot mount $path (9p tag $tag)"
done <"$nr/run/vm/mounts"

hostname realmidi
ip link set lo up 2>/dev/null

chroot "$nr" /bin/bash /run/vm/guest.sh
[ -e "$nr/run/vm/status" ] || fail "guest.sh ended without writing a status"
halt_now
