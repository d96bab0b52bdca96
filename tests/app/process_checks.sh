#!/usr/bin/env bash
# The programs as a user or a script starts them, with their real message loop and exit codes.
#   process_checks.sh FLASHWELL FLASHWELL_DEMO FIRMWARE_IMAGE
set -u
app="$1"
demo="$2"
image="$3"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail=0
check() { if [ "$2" = "$3" ]; then echo "ok   $1"; else echo "FAIL $1: expected $3, got $2"; fail=1; return 1; fi; }

# runs_on SECONDS CMD...: "running" when CMD is still up after SECONDS (then stops it), else its exit code.
runs_on() {
    local seconds="$1"; shift
    alone
    "$@" >/dev/null 2>&1 &
    local pid=$!
    for _ in $(seq $((seconds * 10))); do
        kill -0 "$pid" 2>/dev/null || { wait "$pid"; echo $?; return; }
        sleep 0.1
    done
    kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null
    echo running
}

# Only one updater runs per machine (a lock under /var/tmp): each start here first waits for any
# other to end, or it would just see that lock and exit with 0.
alone() {
    for _ in $(seq 600); do
        pgrep -x 'flashwell|flashwell-demo' >/dev/null || return 0
        sleep 0.2
    done
}

# The mode comes from the whole parameter string; with no pedal on this machine an unattended
# run ends at once with 255, an interactive one waits for its user.
while IFS='|' read -r expected args; do
    eval "set -- $args"
    check "flashwell $args" "$(runs_on 3 "$app" "$@")" "$expected"
done <<'TABLE'
255|--autoupdate
255|--AUTOUPDATE
255|--AutoUpdate
running|'--autoupdate '
running|--autoupdate now
running|-autoupdate
running|autoupdate
running|
TABLE

alone
"$app" >/dev/null 2>&1 &
first=$!
sleep 1.5
timeout 10 "$app" --autoupdate >/dev/null 2>&1
check "a second instance exits at once with 0, whatever its options" "$?" 0
kill -0 "$first" 2>/dev/null
check "the first instance keeps running" "$?" 0
kill "$first" 2>/dev/null; wait "$first" 2>/dev/null

# A whole unattended update in real time against the emulated pedal.
alone
FLASHWELL_DEMO_STREAM="$work/stream.syx" FLASHWELL_DEMO_REPORT="$work/report.txt" \
    timeout 120 "$demo" --autoupdate >/dev/null 2>&1
check "an unattended update of the emulated pedal exits with 0" "$?" 0
cmp -s "$work/stream.syx" "$image"
check "the pedal received the image byte for byte" "$?" 0
grep -q '^paced=1$' "$work/report.txt"
check "the pedal found the stream well paced" "$?" 0 || sed -n '1,7p' "$work/report.txt"

exit $fail
