#!/bin/bash
# Runs inside the guest as root, chrooted into the host's root file system (read-only), from
# the initramfs's /init. vm.sh copies it into the run's work folder, mounted here at /run/vm,
# next to:
#   command   the command line to run (a bash script)
#   env       `export NAME=VALUE` lines for the command's environment
#   settings  VM_MODULES (modules to load after snd-seq) and VM_CWD (where to start)
# and this script leaves there: stdout, stderr, status (the command's exit status) and
# boot_seconds (the guest's uptime when the command started).
set -uo pipefail
work=/run/vm
export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin

harness_error() {
    echo "vm-guest: $*" >"$work/harness-error"
    exit 0
}

# shellcheck source=/dev/null
. "$work/settings" || harness_error "cannot read $work/settings"

for module in snd-seq ${VM_MODULES:-}; do
    modprobe "$module" 2>>"$work/modprobe.log" || harness_error "cannot load module $module (see modprobe.log)"
done
[ -c /dev/snd/seq ] || harness_error "/dev/snd/seq is missing after loading snd-seq"

cd "${VM_CWD:-/}" 2>/dev/null || cd /

read -r uptime _ </proc/uptime
echo "$uptime" >"$work/boot_seconds"

status=0
env -i \
    PATH="$PATH" \
    HOME=/tmp/home USER=root LOGNAME=root SHELL=/bin/bash LANG=C.UTF-8 TERM=dumb \
    VM_GUEST=1 \
    /bin/bash -c ". $work/env && exec /bin/bash $work/command" \
    </dev/null >"$work/stdout" 2>"$work/stderr" || status=$?

read -r uptime _ </proc/uptime
echo "$uptime" >"$work/end_seconds"
echo "$status" >"$work/status"
