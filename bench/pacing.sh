#!/usr/bin/env bash
# Pacing benchmark (not a test): how the updater paces a real-time update of the emulated pedal,
# what it costs, and how soon its window shows.
#   bench/pacing.sh [RUNS]    RUNS: start-to-window measurements (default 5)
# Prints, for an unattended run (flashwell-demo --autoupdate, 40 ms pacing) and an interactive
# one (build/tests/flashwell-pacing-bench, 50 ms pacing): the gaps between the pedal's arrivals, the stream
# time against the ideal, then the updater's CPU time and peak memory, the time from start to
# the window being shown, and the size of build/flashwell. Starts Xvfb when there is no display.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh

runs="${1:-5}"

if [ -z "${FLASHWELL_BENCH_BUILT:-}" ]; then
    need_packages "${FLASHWELL_PACKAGES[@]}" time binutils
    build build
    export FLASHWELL_BENCH_BUILT=1
fi

if [ -z "${DISPLAY:-}" ]; then
    with_display "$0" "$@"
    exit
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# One instance per machine: another run of the program may hold the lock for a while.
# run_alone REPORT CMD...: retries until CMD has written REPORT.
run_alone() {
    local report="$1"; shift
    for _ in $(seq 20); do
        rm -f "$report"
        "$@" || true
        [ -s "$report" ] && return 0
        echo "(another instance holds the lock; trying again)" >&2
        sleep 5
    done
    echo "could not run: $*" >&2
    return 1
}

# gap_stats NOMINAL_MS < arrival list (t0 the identify request, t1 the update begin, t2..t379 the
# data messages, t380 the update end): the gaps after each data message (to the next message,
# the last one to the update end), the gap after the update begin, and the stream time.
# BEGIN_WAIT_MS is the wait the mode keeps after the update begin. Fails when a gap is below
# the nominal pacing.
gap_stats() {
    local nominal="$1" begin_wait="$2" arrivals
    arrivals=$(tr ',' '\n')
    echo "$arrivals" | awk 'NR >= 3 && NR <= 381 { if (NR > 3) print $1 - last; last = $1 } NR == 381 { exit }' |
        sort -g | awk -v nominal="$nominal" '
            { g[NR] = $1; if ($1 < nominal) below++ }
            END {
                p99 = int(0.99 * NR); if (p99 < 0.99 * NR) p99++
                printf "  gaps after each data message (%d): median %.3f ms, 99th percentile %.3f ms, min %.3f ms, max %.3f ms (nominal %d ms)\n", NR, g[int((NR + 1) / 2)], g[p99], g[1], g[NR], nominal
                printf "  gaps below the nominal pacing: %d\n", below + 0
                if (below > 0) exit 1
            }' || return 1
    echo "$arrivals" | awk -v nominal="$nominal" -v wait="$begin_wait" '
        NR == 2 { begin = $1 } NR == 3 { first = $1 } NR == 381 { end = $1 }
        END {
            printf "  gap after the update begin: %.3f ms (the mode waits %d ms there)\n", first - begin, wait
            stream = end - begin
            printf "  stream time, update begin to update end: %.1f ms\n", stream
            if (wait == 0)
            {
                ideal = 379 * nominal
                printf "    against 379 x %d = %d ms: %+.1f ms (%+.2f%%)\n", nominal, ideal, stream - ideal, 100 * (stream - ideal) / ideal
            }
            ideal = wait + 378 * nominal
            printf "    against this mode'"'"'s own floor, %d + 378 x %d = %d ms: %+.1f ms (%+.2f%%)\n", wait, nominal, ideal, stream - ideal, 100 * (stream - ideal) / ideal
        }'
}

echo "== unattended update: flashwell-demo --autoupdate, real time"
run_alone "$work/report.txt" env FLASHWELL_DEMO_REPORT="$work/report.txt" \
    /usr/bin/time -v -o "$work/time.txt" build/flashwell-demo --autoupdate >/dev/null 2>&1
grep -E '^(complete|paced|revision)=' "$work/report.txt" | sed 's/^/  /'
unattended_ok=0
grep '^arrival_ms=' "$work/report.txt" | cut -d= -f2 | gap_stats 40 0 || unattended_ok=1
user=$(awk -F': ' '/User time/ {print $2}' "$work/time.txt")
sys=$(awk -F': ' '/System time/ {print $2}' "$work/time.txt")
wall=$(awk -F': ' '/Elapsed \(wall clock\)/ {print $2}' "$work/time.txt")
rss=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$work/time.txt")
echo "  CPU: user $user s + system $sys s = $(echo "$user $sys" | awk '{printf "%.2f", $1 + $2}') s over $wall wall clock (emulated pedal included)"
echo "  peak resident memory: $rss KiB"

echo "== interactive update: flashwell-pacing-bench, real time"
build/tests/flashwell-pacing-bench >"$work/interactive.txt" || true
grep -E '^(result|complete|paced|revision)=' "$work/interactive.txt" | sed 's/^/  /'
interactive_ok=0
grep '^arrival_ms=' "$work/interactive.txt" | cut -d= -f2 | gap_stats 50 20000 || interactive_ok=1

echo "== start to window shown: build/flashwell, interactive, $runs runs"
times=()
for _ in $(seq "$runs"); do
    for _ in $(seq 20); do
        start=$(date +%s%N)
        build/flashwell >/dev/null 2>&1 &
        app=$!
        # Looked for as fast as xdotool answers (one search takes some 20 ms here); its own
        # --sync only looks again every half second, too coarse for this.
        found=0
        while [ $(( $(date +%s%N) - start )) -lt 20000000000 ]; do
            if xdotool search --onlyvisible --name '^Firmware Updater$' >/dev/null 2>&1; then
                shown=$(date +%s%N)
                found=1
                break
            fi
            kill -0 "$app" 2>/dev/null || break # a second instance ends at once, without a window
        done
        kill "$app" 2>/dev/null || true
        wait "$app" 2>/dev/null || true
        if [ $found -eq 1 ]; then
            times+=($(( (shown - start) / 1000000 )))
            break
        fi
        echo "(another instance holds the lock; trying again)" >&2
        sleep 5
    done
    sleep 0.5
done
if [ ${#times[@]} -gt 0 ]; then
    printf '%s\n' "${times[@]}" | sort -n | awk '{ t[NR] = $1 } END { printf "  start to window: median %d ms, min %d ms, max %d ms (%d runs)\n", t[int((NR + 1) / 2)], t[1], t[NR], NR }'
else
    echo "  start to window: not measured (another instance held the lock throughout)"
fi

build_type=$(grep -Eo 'CMAKE_BUILD_TYPE:STRING=.*' build/CMakeCache.txt | cut -d= -f2)
echo "== binary size: build/flashwell (${build_type:-Debug, the project default} build)"
strip -o "$work/flashwell.stripped" build/flashwell
echo "  unstripped: $(stat -c %s build/flashwell) bytes; stripped: $(stat -c %s "$work/flashwell.stripped") bytes"

[ $unattended_ok -eq 0 ] && [ $interactive_ok -eq 0 ]
