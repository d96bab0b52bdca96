#!/usr/bin/env bash
# Proves the guest's stack for the scenarios that will run the updater in it: the kernel's
# ALSA sequencer lists "Midi Through" and carries MIDI (notes and SysEx) through it, and X
# clients reach an Xvfb started inside the guest.
# Exit: 0 all held, 1 one failed, 77 this machine cannot run the VM (CTest: skipped).
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

failures=0
check() { # check DESCRIPTION COMMAND...
    local what=$1 started took
    shift
    started=$(date +%s.%N)
    if "$@"; then
        took=$(awk -v a="$started" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }')
        echo "ok   $what ($took s)"
    else
        echo "FAIL $what"
        failures=$((failures + 1))
    fi
}

# A MIDI file (format 0) with a note and a SysEx message, for aplaymidi.
write_midi_file() {
    local track
    track='\x00\x90\x3c\x64'                     # note on, middle C
    track+='\x60\x80\x3c\x00'                    # note off after 96 ticks
    track+='\x00\xf0\x05\x7d\x01\x02\x03\xf7'    # SysEx F0 7D 01 02 03 F7 (non-commercial ID)
    track+='\x00\xff\x2f\x00'                    # end of track
    printf 'MThd\x00\x00\x00\x06\x00\x00\x00\x01\x00\x60' >"$1"
    printf 'MTrk\x00\x00\x00\x14' >>"$1"
    printf '%b' "$track" >>"$1"
}

through_port() { aplaymidi -l | awk '/Midi Through/ { print $1; exit }'; }

# Plays the file into "Midi Through" and records what comes back out of it.
midi_round_trip() {
    local port dump=/tmp/through.txt pid
    port=$(through_port)
    [ -n "$port" ] || return 1
    write_midi_file /tmp/smoke.mid
    stdbuf -oL aseqdump -p "$port" >"$dump" 2>&1 &
    pid=$!
    # aseqdump is subscribed once it shows its header line.
    for _ in $(seq 200); do grep -q 'Source' "$dump" && break; sleep 0.05; done
    aplaymidi -p "$port" /tmp/smoke.mid
    for _ in $(seq 200); do grep -q 'System exclusive' "$dump" && break; sleep 0.05; done
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null || true
    echo "  what came out of $port:"
    sed 's/^/    /' "$dump"
    grep -q 'Note on.*60, velocity 100' "$dump" &&
        grep -q 'Note off.*60' "$dump" &&
        grep -qi 'System exclusive.*F0 7D 01 02 03 F7' "$dump"
}

x_client_connects() {
    local display=:7 xvfb status=0
    Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/tmp/xvfb.log 2>&1 &
    xvfb=$!
    for _ in $(seq 600); do [ -S /tmp/.X11-unix/X7 ] && break; sleep 0.1; done
    xdpyinfo -display "$display" >/tmp/xdpyinfo.txt 2>&1 || status=$?
    kill "$xvfb" 2>/dev/null
    wait "$xvfb" 2>/dev/null || true
    if [ "$status" -ne 0 ] || ! grep -q 'dimensions: *1024x768 pixels' /tmp/xdpyinfo.txt; then
        sed 's/^/  xdpyinfo: /' /tmp/xdpyinfo.txt
        sed 's/^/  Xvfb: /' /tmp/xvfb.log
        return 1
    fi
}

in_guest() {
    [ "${VM_GUEST:-}" = 1 ] || { echo "smoke.sh: --in-guest runs only inside the VM" >&2; exit 2; }
    check "the sequencer device exists" test -c /dev/snd/seq
    echo "  aconnect -l:"
    aconnect -l | sed 's/^/    /'
    check "the sequencer lists Midi Through" bash -c "aconnect -l | grep -q 'Midi Through'"
    check "a note and a SysEx message come back out of Midi Through" midi_round_trip
    check "an X client connects to Xvfb in the guest" x_client_connects
    [ "$failures" -eq 0 ]
}

if [ "${1:-}" = --in-guest ]; then
    in_guest
    exit
fi

status=0
"$here/vm.sh" check || status=$?
[ "$status" -eq 0 ] || exit "$status"
exec "$here/vm.sh" run -v -t "${SMOKE_TIMEOUT:-300}" -m snd-seq-dummy -- "$here/smoke.sh" --in-guest
