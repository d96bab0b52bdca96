#!/usr/bin/env bash
# The shipped updater against an emulated pedal on the kernel's real ALSA sequencer: in one
# boot of the VM (vm.sh), Xvfb, flashwell-pedal and the real `flashwell --autoupdate` run
# side by side, scenario after scenario, and each one's exit code, the pedal's report, the
# stream it received and the programs' output come back in the results folder, with (when
# ImageMagick is there) a screenshot of the first update under way.
#
#   pedal_scenarios.sh FLASHWELL FLASHWELL_PEDAL FIRMWARE_IMAGE
#
# Scenarios, in this order (the sequencer's extra ports come last, as they cannot go again):
#   success           a healthy pedal: exit 0, the image arrives byte for byte, well paced
#   no-pedal          flashwell-pedal --fault absent (no ports at all): exit 255
#   never-comes-back  the pedal takes the update and stays away (and ends 5 s later): exit 255
#   wrong-revision    it comes back with another revision: exit 255
#   noisy             it sends notes, clock and foreign SysEx during the update: exit 0, intact
#   midi-through      snd-seq-dummy's "Midi Through", which echoes what it is sent, is tried
#                     first: exit 0
#   other-ports       snd-virmidi's silent ports of other devices as well: exit 0
#
# Results: PEDAL_RESULTS (default: the build folder's realmidi/pedal-scenarios), one folder a
# scenario. PEDAL_SCENARIOS="success noisy" runs only those.
# Exit: 0 all held, 1 one failed, 77 this machine cannot run the VM (CTest: skipped), other
# values from vm.sh (124 the guest timed out, 125 the harness failed).
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
all_scenarios="success no-pedal never-comes-back wrong-revision noisy midi-through other-ports"

now() { date +%s.%N; }
since() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.1f", b - a }'; }

# ---------------------------------------------------------------------------- in the guest --
failures=0
expect() { # expect DESCRIPTION ACTUAL EXPECTED
    if [ "$2" = "$3" ]; then
        echo "  ok   $1"
    else
        echo "  FAIL $1: expected '$3', got '$2'"
        failures=$((failures + 1))
    fi
}

# wait_for FILE PATTERN SECONDS: true once a line of FILE matches.
wait_for() {
    local i
    for ((i = 0; i < $3 * 20; i++)); do
        grep -q -- "$2" "$1" 2>/dev/null && return 0
        sleep 0.05
    done
    return 1
}

value() { sed -n "s/^$1=//p" "$dir/report.txt" 2>/dev/null | head -n 1; }

start_display() {
    Xvfb :5 -screen 0 1024x768x24 -nolisten tcp >"$VM_RESULTS/xvfb.log" 2>&1 &
    export DISPLAY=:5
    wait_for_socket=0
    for _ in $(seq 600); do
        [ -S /tmp/.X11-unix/X5 ] && wait_for_socket=1 && break
        sleep 0.1
    done
    [ "$wait_for_socket" = 1 ] || { echo "Xvfb did not start"; cat "$VM_RESULTS/xvfb.log"; exit 1; }
}

# run NAME PEDAL_ARGS...: starts the pedal (unless the first argument is "none"), waits for
# its ports, runs the updater unattended, ends the pedal. Leaves $dir, $updater_status,
# $pedal_status and $took.
run() {
    local name=$1 pedal_pid="" shot_pid="" started
    shift
    dir=$VM_RESULTS/$name
    mkdir -p "$dir"
    echo "== $name"
    started=$(now)
    pedal_status=none

    if [ "$1" != none ]; then
        # A safety net: whatever happens, the pedal ends and reports within ten minutes.
        "$pedal" --report "$dir/report.txt" --stream "$dir/stream.syx" --timeout 600 "$@" >"$dir/pedal.log" 2>&1 &
        pedal_pid=$!
        if ! wait_for "$dir/pedal.log" "ports up\|no ports" 60; then
            echo "  FAIL the pedal did not show its ports within 60 s:"
            sed 's/^/    /' "$dir/pedal.log"
            failures=$((failures + 1))
        fi
        echo "  (pedal ready after $(since "$started") s)"
        # One screenshot is enough, and taking it loads the guest: only of the first scenario.
        if [ "$name" = success ] && command -v import >/dev/null; then
            (wait_for "$dir/pedal.log" "update begun" 120 && sleep 4 && import -window root "$dir/screen.png") >/dev/null 2>&1 &
            shot_pid=$!
        fi
    fi

    aconnect -l >"$dir/ports.txt" 2>&1 || true
    updater_status=0
    local updater_started
    updater_started=$(now)
    timeout 400 "$flashwell" --autoupdate >"$dir/flashwell.log" 2>&1 || updater_status=$?
    echo "  (flashwell ran $(since "$updater_started") s)"

    if [ -n "$pedal_pid" ]; then
        kill -TERM "$pedal_pid" 2>/dev/null || true
        pedal_status=0
        wait "$pedal_pid" || pedal_status=$?
    fi
    if [ -n "$shot_pid" ]; then
        kill "$shot_pid" 2>/dev/null || true
        wait "$shot_pid" 2>/dev/null || true
    fi
    took=$(since "$started")
    echo "  (scenario took $took s; flashwell exit $updater_status)"
    echo "$name $took" >>"$VM_RESULTS/times.txt"
}

# The checks every run with a pedal shares: it ended on SIGTERM with its report, and the
# update, when one came, was whole and well paced.
pedal_ended_well() {
    expect "the pedal ended on SIGTERM with exit 0" "$pedal_status" 0
    expect "... and wrote its report" "$(value ended_by)" SIGTERM
}

stream_intact() {
    expect "the pedal took the update whole and well paced" "$(value verdict)" updated
    expect "the stream is the image, byte for byte" "$(cmp -s "$dir/stream.syx" "$image" && echo same)" same
    expect "the report's hash is the image's" "$(value stream_sha256)" "$(sha256sum "$image" | cut -d' ' -f1)"
    echo "  (update gaps: min $(value gap_ms_min) ms, median $(value gap_ms_median) ms, max $(value gap_ms_max) ms)"
}

scenario_success() {
    run success --fault healthy
    expect "flashwell exits 0" "$updater_status" 0
    pedal_ended_well
    stream_intact
    expect "the restarted pedal came back under its running name" "$(value ports_shown)" "Bramblet boot;Bramblet"
    expect "... and was asked its revision once" "$(value revision_queries)" 1
    expect "it runs the new revision" "$(value revision_installed)" 739
}

scenario_no-pedal() {
    run no-pedal --fault absent
    expect "flashwell exits 255" "$updater_status" 255
    pedal_ended_well
    expect "nothing showed, nothing arrived" "$(value ports_shown),$(value messages_received)" ",0"
}

scenario_never-comes-back() {
    # Its scenario is over once it has gone: it ends by itself, while flashwell still searches.
    run never-comes-back --fault never-comes-back --exit-after-restart 5
    expect "flashwell exits 255" "$updater_status" 255
    expect "the pedal ended by itself after its restart, with exit 0" "$pedal_status,$(value ended_by)" 0,exit-after-restart
    stream_intact
    expect "the pedal's ports went and stayed away" "$(value ports_shown)" "Bramblet boot"
    expect "no revision was asked of a pedal that is gone" "$(value revision_queries)" 0
}

scenario_wrong-revision() {
    run wrong-revision --fault wrong-revision
    expect "flashwell exits 255" "$updater_status" 255
    pedal_ended_well
    stream_intact
    expect "the pedal came back and reported its other revision" "$(value revision_queries),$(value revision_reported)" 1,738
}

scenario_noisy() {
    run noisy --fault noisy
    expect "flashwell exits 0" "$updater_status" 0
    pedal_ended_well
    stream_intact
}

scenario_midi-through() {
    modprobe snd-seq-dummy
    local dump=$VM_RESULTS/midi-through-echo.txt dump_pid
    mkdir -p "$VM_RESULTS/midi-through"
    # What comes out of Midi Through: the updater's requests, echoed.
    stdbuf -oL aseqdump -p 14:0 >"$dump" 2>&1 &
    dump_pid=$!
    wait_for "$dump" Source 30 || true
    run midi-through --fault healthy
    kill "$dump_pid" 2>/dev/null || true
    wait "$dump_pid" 2>/dev/null || true
    mv "$dump" "$dir/through.txt"
    expect "Midi Through was listed" "$(grep -c "'Midi Through Port-0'" "$dir/ports.txt")" 1
    expect "the identify request went into Midi Through and came back out, before each search found the pedal" \
        "$(grep -ci 'System exclusive.*F0 00 4B 6E 00 1A 00 F7' "$dir/through.txt")" 2
    expect "flashwell exits 0" "$updater_status" 0
    pedal_ended_well
    stream_intact
    expect "the pedal heard one identify request a search" "$(value identify_requests)" 2
}

scenario_other-ports() {
    modprobe snd-virmidi
    run other-ports --fault healthy
    expect "four silent ports of other devices were listed" "$(grep -c 'VirMIDI' "$dir/ports.txt")" 4
    expect "flashwell exits 0" "$updater_status" 0
    pedal_ended_well
    stream_intact
}

in_guest() {
    [ "${VM_GUEST:-}" = 1 ] || { echo "pedal_scenarios.sh: --in-guest runs only inside the VM" >&2; exit 2; }
    flashwell=$1 pedal=$2 image=$3
    local s
    : >"$VM_RESULTS/times.txt"
    local display_started
    display_started=$(now)
    start_display
    echo "(Xvfb ready after $(since "$display_started") s)"
    for s in ${PEDAL_SCENARIOS:-$all_scenarios}; do
        "scenario_$s"
    done
    [ "$failures" -eq 0 ] || { echo "$failures check(s) failed; results in $VM_RESULTS"; exit 1; }
    echo "all held; results in $VM_RESULTS"
}

if [ "${1:-}" = --in-guest ]; then
    shift
    in_guest "$@"
    exit
fi

# ------------------------------------------------------------------------------ on the host --
[ $# -eq 3 ] || { sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//' >&2; exit 2; }
flashwell=$(readlink -f "$1")
pedal=$(readlink -f "$2")
image=$(readlink -f "$3")

status=0
"$here/vm.sh" check || status=$?
[ "$status" -eq 0 ] || exit "$status"

for s in ${PEDAL_SCENARIOS:-}; do
    [[ " $all_scenarios " == *" $s "* ]] || { echo "pedal_scenarios.sh: no scenario \"$s\" (known: $all_scenarios)" >&2; exit 2; }
done

results=${PEDAL_RESULTS:-${VM_BUILD_DIR:-$(dirname "$flashwell")}/realmidi/pedal-scenarios}
rm -rf "$results"
mkdir -p "$results"

# One boot for them all: the snd-seq modules beyond snd-seq itself are loaded on the way.
VM_RESULTS=$results "$here/vm.sh" run -v -t "${PEDAL_SCENARIOS_TIMEOUT:-1500}" -e PEDAL_SCENARIOS \
    -- "$here/pedal_scenarios.sh" --in-guest "$flashwell" "$pedal" "$image" || status=$?
echo "results: $results"
exit "$status"
