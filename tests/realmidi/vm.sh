#!/usr/bin/env bash
# Runs a command inside a small Linux virtual machine that has a real ALSA sequencer, for
# tests that need the kernel's MIDI stack (this machine has no sound devices).
#
# The guest boots Debian's kernel under qemu (software emulation, no KVM needed) with a tiny
# initramfs, sees the host's whole file system read-only at /, and runs the command as root.
# Writable in the guest: /tmp, /var/tmp, /run, /dev/shm (tmpfs; HOME is /tmp/home), the
# repository's build folder and the results folder (shared with the host at the same paths),
# and any folder given with -w. snd-seq is always loaded, so /dev/snd/seq exists;
# snd-seq-dummy adds the "Midi Through" port, snd-virmidi raw-MIDI devices.
#
# Usage:
#   vm.sh check                 exit 0 if this machine can run the VM, else say why, exit 77
#   vm.sh setup                 install what is missing and build the initramfs
#   vm.sh run [OPTIONS] [--] COMMAND [ARG...]
#       One argument is a shell command line (run by bash); several are one command and its
#       arguments. The guest starts in the current folder when the guest can see it (the
#       guest's /tmp is its own: host folders under /tmp are seen only when shared).
#       -m MODULE        load MODULE after snd-seq (repeatable), e.g. -m snd-seq-dummy
#       -e NAME[=VALUE]  set NAME in the command's environment, or pass the host's NAME
#       -w DIR           share the host folder DIR writable at the same path (repeatable)
#       -t SECONDS       kill the guest after SECONDS (default 300)
#       -v               print timings and the guest's console log on stderr
#   The command's stdout and stderr come back on vm.sh's own; its exit status becomes vm.sh's.
#   vm.sh's own exit statuses: 124 the guest timed out, 125 the harness failed (the
#   message says why). Both are printed on stderr with a "vm.sh:" prefix.
#
# Environment (the options add to these):
#   VM_MODULES="snd-seq-dummy snd-virmidi"   VM_ENV="A=1 B=2 DISPLAY"   VM_RW="/some/dir"
#   VM_TIMEOUT=300  VM_VERBOSE=1  VM_MEM=2048 (MiB)  VM_CPUS=2
#   VM_BUILD_DIR    the build folder shared writable (default: the repository's build/)
#   VM_RESULTS      the results folder shared writable, also set in the guest
#                   (default: VM_BUILD_DIR/realmidi/results)
#   VM_CACHE        where the initramfs and the unpacked kernel are kept
#                   (default: VM_BUILD_DIR/realmidi)
#   VM_ACCEL, VM_CPU  qemu's accelerator and CPU model (default: tcg and max). On these
#                   machines KVM does not work: with -cpu max qemu aborts on an MSR, with
#                   -cpu host,-arch-capabilities the guest hangs before its first message.
#   VM_KEEP=1       keep the run's work folder (console log, outputs) and print its path
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(cd "$here/../.." && pwd)
build_dir=${VM_BUILD_DIR:-$repo/build}
results=${VM_RESULTS:-$build_dir/realmidi/results}
cache=${VM_CACHE:-$build_dir/realmidi}
mem=${VM_MEM:-2048}
cpus=${VM_CPUS:-2}

# Debian packages this needs, and why.
packages=(
    qemu-system-x86   # the emulator, qemu-system-x86_64
    linux-image-amd64 # the guest's kernel and its modules: virtio, 9p, the ALSA sequencer
    busybox-static    # the initramfs's shell and tools, in one static binary
    cpio              # packs the initramfs
    kmod              # modprobe: the modules' dependencies, on the host and in the guest
    alsa-utils        # aconnect, aplaymidi, amidi: the sequencer seen from inside the guest
    xvfb              # an X server for GUI programs run in the guest
    x11-utils         # xdpyinfo, xwininfo: X clients that check the display
    xdotool           # finds and clicks windows in GUI scenarios
)

msg() { echo "vm.sh: $*" >&2; }
die() {
    msg "$*"
    exit 125
}

as_root() {
    if [ "$(id -u)" -eq 0 ]; then
        "$@"
    else
        sudo -n "$@"
    fi
}

can_be_root() { [ "$(id -u)" -eq 0 ] || sudo -n true 2>/dev/null; }

missing_packages() {
    local p
    for p in "${packages[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || echo "$p"
    done
}

apt_candidate() { apt-cache policy "$1" 2>/dev/null | awk '/Candidate:/ { print $2 }'; }

# The newest kernel in /boot whose modules are installed.
kernel_version() {
    local v versions=()
    for v in /boot/vmlinuz-*; do
        v=${v#/boot/vmlinuz-}
        [ -f "/lib/modules/$v/modules.dep" ] && versions+=("$v")
    done
    [ ${#versions[@]} -gt 0 ] || return 1
    printf '%s\n' "${versions[@]}" | sort -V | tail -n 1
}

cmd_check() {
    local why=() missing p c
    [ "$(uname -m)" = x86_64 ] || why+=("the host is $(uname -m); the guest runs the host's x86_64 programs")
    if ! command -v dpkg-query >/dev/null || ! command -v apt-get >/dev/null; then
        why+=("no dpkg/apt-get: this needs Debian's packages")
    else
        mapfile -t missing < <(missing_packages)
        if [ ${#missing[@]} -gt 0 ]; then
            if ! can_be_root; then
                why+=("missing packages (${missing[*]}) and neither root nor password-less sudo to install them")
            else
                # A machine whose package lists were never fetched knows no candidates yet.
                if [ -z "$(apt_candidate "${missing[0]}")" ] || [ "$(apt_candidate "${missing[0]}")" = "(none)" ]; then
                    as_root apt-get update -q >/dev/null 2>&1 || why+=("apt-get update failed (no access to Debian's archive?)")
                fi
                for p in "${missing[@]}"; do
                    c=$(apt_candidate "$p")
                    [ -n "$c" ] && [ "$c" != "(none)" ] || why+=("package $p is neither installed nor available from apt")
                done
            fi
        fi
    fi
    local avail_kib
    avail_kib=$(awk '/^MemAvailable:/ { print $2 }' /proc/meminfo)
    if [ -n "$avail_kib" ] && [ "$avail_kib" -lt $(((mem + 512) * 1024)) ]; then
        why+=("only $((avail_kib / 1024)) MiB of memory available; the guest takes $mem MiB")
    fi
    if [ ${#why[@]} -gt 0 ]; then
        msg "this machine cannot run the VM:"
        printf '  - %s\n' "${why[@]}" >&2
        exit 77
    fi
    echo "vm.sh: this machine can run the VM"
}

install_missing() {
    local missing
    mapfile -t missing < <(missing_packages)
    [ ${#missing[@]} -eq 0 ] && return 0
    msg "installing: ${missing[*]}"
    can_be_root || die "need root or password-less sudo to install: ${missing[*]}"
    as_root apt-get update -q >&2 || die "apt-get update failed"
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}" >&2 ||
        die "could not install: ${missing[*]}"
}

# Sets kver, kernel_image and initrd_image for the newest kernel, preparing what is missing in
# the cache under a lock (several runs may start at once):
# - the initramfs: busybox, init.sh and the modules for 9p over virtio-pci; named after the
#   kernel version and a hash of what goes in, so a new kernel, busybox or init.sh builds a
#   new one (and removes the old);
# - the kernel uncompressed, when it can boot that way (PVH entry): under software emulation
#   the compressed kernel's own decompressor costs several seconds of every boot.
prepare_boot() {
    kver=$(kernel_version) || die "no kernel in /boot with its modules in /lib/modules"
    local busybox=/bin/busybox hash vmlinux
    [ -x "$busybox" ] || die "$busybox is missing (package busybox-static)"
    hash=$(cat "$here/init.sh" "$busybox" | sha256sum | cut -c1-12)
    initrd_image="$cache/initramfs-$kver-$hash.cpio"
    vmlinux="$cache/vmlinux-$kver"
    kernel_image="/boot/vmlinuz-$kver"
    if [ ! -f "$initrd_image" ] || { [ ! -f "$vmlinux" ] && [ ! -f "$vmlinux.none" ]; }; then
        mkdir -p "$cache"
        exec 9>"$cache/.lock"
        flock 9
        [ -f "$initrd_image" ] || build_initramfs "$busybox"
        [ -f "$vmlinux" ] || [ -f "$vmlinux.none" ] || extract_vmlinux "$vmlinux"
        exec 9>&-
    fi
    [ -f "$vmlinux" ] && kernel_image=$vmlinux
    return 0
}

seconds_since() { awk -v a="$1" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }'; }

build_initramfs() {
    local busybox=$1 started tree ko name
    started=$(date +%s.%N)
    tree=$(mktemp -d "$cache/initramfs-tree.XXXXXX")
    mkdir -p "$tree"/{bin,dev,proc,sys,newroot,lib/modules}
    cp "$busybox" "$tree/bin/busybox"
    cp "$here/init.sh" "$tree/init"
    chmod 755 "$tree/init"
    : >"$tree/modules.order"
    # -a: given several names without it, modprobe takes the others as the first one's
    # parameters.
    while read -r ko; do
        name=$(basename "$ko")
        name=${name%.xz}
        name=${name%.zst}
        name=${name%.gz}
        grep -qxF "$name" "$tree/modules.order" && continue
        case "$ko" in
            *.xz) xz -dc "$ko" >"$tree/lib/modules/$name" ;;
            *.zst) zstd -qdc "$ko" >"$tree/lib/modules/$name" ;;
            *.gz) gzip -dc "$ko" >"$tree/lib/modules/$name" ;;
            *) cp "$ko" "$tree/lib/modules/$name" ;;
        esac
        echo "$name" >>"$tree/modules.order"
    done < <(modprobe -a -S "$kver" --show-depends virtio_pci 9pnet_virtio 9p | awk '$1 == "insmod" { print $2 }')
    [ -s "$tree/modules.order" ] || die "modprobe listed no modules for 9p over virtio-pci ($kver)"
    (cd "$tree" && find . -mindepth 1 | LC_ALL=C sort | cpio --quiet -o -H newc -R 0:0) >"$initrd_image.part"
    mv "$initrd_image.part" "$initrd_image"
    rm -rf "$tree"
    find "$cache" -maxdepth 1 -name "initramfs-*.cpio" ! -path "$initrd_image" -delete
    msg "built $(basename "$initrd_image") in $(seconds_since "$started") s"
}

# extract_vmlinux PATH: finds the compressed kernel inside /boot/vmlinuz-$kver and unpacks it
# to PATH; leaves PATH.none instead when the kernel has no PVH entry or none can be found.
extract_vmlinux() {
    local out=$1 started magic tool offset
    started=$(date +%s.%N)
    find "$cache" -maxdepth 1 -name "vmlinux-*" -delete
    if grep -qx 'CONFIG_PVH=y' "/boot/config-$kver" 2>/dev/null; then
        for magic in xz:'\xfd7zXZ\x00' zstd:'\x28\xb5\x2f\xfd' gzip:'\x1f\x8b\x08'; do
            tool=${magic%%:*}
            command -v "$tool" >/dev/null || continue
            while read -r offset; do
                tail -c "+$((offset + 1))" "/boot/vmlinuz-$kver" | "$tool" -dc >"$out.part" 2>/dev/null || true
                if [ "$(head -c 4 "$out.part" | od -An -tx1 | tr -d ' ')" = 7f454c46 ]; then
                    mv "$out.part" "$out"
                    msg "unpacked the kernel to $(basename "$out") in $(seconds_since "$started") s"
                    return 0
                fi
            done < <(LC_ALL=C grep -aboP "${magic#*:}" "/boot/vmlinuz-$kver" | cut -d: -f1 | head -n 3)
        done
    fi
    rm -f "$out.part"
    msg "booting the compressed kernel (no uncompressed kernel with a PVH entry could be made)"
    : >"$out.none"
}

cmd_setup() {
    install_missing
    prepare_boot
}

usage() { # usage EXIT_STATUS
    sed -n '2,/^set -euo/p' "${BASH_SOURCE[0]}" | sed '$d; s/^# \{0,1\}//' >&2
    exit "$1"
}

# qemu's option syntax doubles a comma inside a value.
qemu_escape() { printf '%s' "${1//,/,,}"; }

cmd_run() {
    local modules=() env_items=() rw=() timeout_s=${VM_TIMEOUT:-300} verbose=${VM_VERBOSE:-0}
    read -r -a modules <<<"${VM_MODULES:-}"
    read -r -a env_items <<<"${VM_ENV:-}"
    read -r -a rw <<<"${VM_RW:-}"
    while [ $# -gt 0 ]; do
        case "$1" in
            -m) modules+=("${2:?-m needs a module name}"); shift 2 ;;
            -e) env_items+=("${2:?-e needs NAME or NAME=VALUE}"); shift 2 ;;
            -w) rw+=("${2:?-w needs a folder}"); shift 2 ;;
            -t) timeout_s=${2:?-t needs seconds}; shift 2 ;;
            -v) verbose=1; shift ;;
            --) shift; break ;;
            -*) die "unknown option $1 (see vm.sh help)" ;;
            *) break ;;
        esac
    done
    [ $# -gt 0 ] || die "run needs a command (see vm.sh help)"
    if ! [[ "$timeout_s" =~ ^[0-9]+$ ]] || [ "$timeout_s" -eq 0 ]; then
        die "the timeout must be a whole number of seconds, not '$timeout_s'"
    fi

    install_missing
    local kver kernel_image initrd_image
    prepare_boot

    mkdir -p "$build_dir" "$results"
    local work
    work=$(mktemp -d "${TMPDIR:-/tmp}/realmidi-run.XXXXXX")
    qemu_pid=
    trap 'cleanup_run' EXIT
    trap 'msg "interrupted: stopping the guest"; stop_guest; exit 130' INT
    trap 'msg "terminated: stopping the guest"; stop_guest; exit 143' TERM
    run_work=$work

    cp "$here/guest.sh" "$work/guest.sh"
    if [ $# -eq 1 ]; then
        printf '%s\n' "$1" >"$work/command"
    else
        printf '%q ' "$@" >"$work/command"
        echo >>"$work/command"
    fi
    {
        printf 'VM_MODULES=%q\n' "${modules[*]}"
        printf 'VM_CWD=%q\n' "$PWD"
    } >"$work/settings"
    local item name
    {
        printf 'export VM_RESULTS=%q\n' "$results"
        for item in "${env_items[@]}"; do
            name=${item%%=*}
            [[ "$name" =~ ^[A-Za-z_][A-Za-z0-9_]*$ ]] || die "not a variable name: '$name' (in '$item')"
            if [[ "$item" == *=* ]]; then
                printf 'export %s=%q\n' "$name" "${item#*=}"
            elif [ -n "${!name+set}" ]; then
                printf 'export %s=%q\n' "$name" "${!name}"
            fi
        done
    } >"$work/env"

    # Writable folders: real paths, parents first, each once; one inside another that is
    # already shared needs no share of its own.
    local dirs=() d s shared=() i=0 fsdevs=()
    for d in "$build_dir" "$results" "${rw[@]}"; do
        [ -d "$d" ] || die "not a folder: $d"
        dirs+=("$(readlink -f "$d")")
    done
    : >"$work/mounts"
    while read -r d; do
        for s in "${shared[@]}"; do
            [[ "$d" == "$s" || "$d" == "$s"/* ]] && continue 2
        done
        [ "$d" != / ] || die "the root folder cannot be shared writable"
        shared+=("$d")
        fsdevs+=(-fsdev "local,id=rw$i,path=$(qemu_escape "$d"),security_model=none,multidevs=remap"
            -device "virtio-9p-pci,fsdev=rw$i,mount_tag=rw$i")
        printf 'rw%d %s\n' "$i" "$d" >>"$work/mounts"
        i=$((i + 1))
    done < <(printf '%s\n' "${dirs[@]}" | LC_ALL=C sort -u)

    local qemu=(
        qemu-system-x86_64 -accel "${VM_ACCEL:-tcg}" -cpu "${VM_CPU:-max}" -m "$mem" -smp "$cpus"
        -nodefaults -no-user-config -display none -no-reboot
        -kernel "$kernel_image" -initrd "$initrd_image"
        -append "console=ttyS0 quiet loglevel=4 panic=-1 rdinit=/init"
        -serial "file:$work/console.log"
        -fsdev "local,id=hostroot,path=/,readonly=on,security_model=none,multidevs=remap"
        -device "virtio-9p-pci,fsdev=hostroot,mount_tag=hostroot"
        -fsdev "local,id=vmwork,path=$(qemu_escape "$work"),security_model=none"
        -device "virtio-9p-pci,fsdev=vmwork,mount_tag=vmwork"
        "${fsdevs[@]}"
    )
    local started qemu_status=0
    started=$(date +%s.%N)
    timeout --kill-after=10 "$timeout_s" "${qemu[@]}" </dev/null >"$work/qemu.log" 2>&1 &
    qemu_pid=$!
    wait "$qemu_pid" || qemu_status=$?
    qemu_pid=
    local wall
    wall=$(seconds_since "$started")

    [ -f "$work/stdout" ] && cat "$work/stdout"
    [ -f "$work/stderr" ] && cat "$work/stderr" >&2

    if [ "$verbose" = 1 ] || [ ! -f "$work/status" ]; then
        echo "---- guest console ----" >&2
        if [ "$verbose" = 1 ]; then cat "$work/console.log" >&2; else tail -n 30 "$work/console.log" >&2; fi
        echo "---- end of guest console ----" >&2
    fi
    if [ "$verbose" = 1 ] && [ -f "$work/boot_seconds" ]; then
        local boot end
        boot=$(cat "$work/boot_seconds")
        end=$(cat "$work/end_seconds" 2>/dev/null || echo "$boot")
        msg "times: kernel start to command ${boot} s, command $(awk -v a="$boot" -v b="$end" 'BEGIN { printf "%.2f", b - a }') s, whole run ${wall} s (qemu $kver, tcg, ${cpus} CPUs, ${mem} MiB)"
    fi

    if [ "$qemu_status" -eq 124 ] || [ "$qemu_status" -eq 137 ]; then
        msg "the guest did not finish within $timeout_s s: killed"
        exit 124
    fi
    [ "$qemu_status" -eq 0 ] || die "qemu failed (status $qemu_status): $(tail -n 5 "$work/qemu.log")"
    [ -f "$work/harness-error" ] && die "$(cat "$work/harness-error")"
    [ -f "$work/status" ] || die "the guest stopped before the command ended (console above)"
    exit "$(cat "$work/status")"
}

stop_guest() {
    if [ -n "${qemu_pid:-}" ]; then
        kill -TERM "$qemu_pid" 2>/dev/null || true
        wait "$qemu_pid" 2>/dev/null || true
        qemu_pid=
    fi
}

cleanup_run() {
    stop_guest
    if [ -n "${run_work:-}" ]; then
        if [ "${VM_KEEP:-0}" = 1 ]; then
            msg "work folder kept: $run_work"
        else
            rm -rf "$run_work"
        fi
    fi
}

case "${1:-}" in
    check) cmd_check ;;
    setup) cmd_setup ;;
    run) shift; cmd_run "$@" ;;
    help | -h | --help) usage 0 ;;
    *) usage 125 ;;
esac
