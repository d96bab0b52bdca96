#!/usr/bin/env bash
# Checks what scenarios rely on in vm.sh: the command line arrives intact, its exit status
# and its two output streams come back apart, the environment and the writable folders are
# what vm.sh promises, a hung guest is killed, and a harness failure is not mistaken for the
# command's own status. Three boots.
# Exit: 0 all held, 1 one failed, 77 this machine cannot run the VM (CTest: skipped).
# The command lines below carry a literal $ on purpose:
# shellcheck disable=SC2016
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
vm="$here/vm.sh"

status=0
"$vm" check || status=$?
[ "$status" -eq 0 ] || exit "$status"

failures=0
expect() { # expect DESCRIPTION ACTUAL EXPECTED
    if [ "$2" = "$3" ]; then
        echo "ok   $1"
    else
        echo "FAIL $1: expected '$3', got '$2'"
        failures=$((failures + 1))
    fi
}
run_vm() { # run_vm NAME ARGS...: runs vm.sh, keeping stdout, stderr and status in $tmp/NAME.*
    local name=$1 started
    shift
    started=$SECONDS
    status=0
    "$vm" run "$@" >"$tmp/$name.out" 2>"$tmp/$name.err" || status=$?
    echo "$status" >"$tmp/$name.status"
    echo "     ($name: $((SECONDS - started)) s)"
}

# Under the host's /tmp, which the guest covers with a tmpfs of its own: the shared results
# folder must still appear there.
tmp=$(mktemp -d "${TMPDIR:-/tmp}/realmidi-harness.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
mkdir "$tmp/results"
cd "$here"

# --- one boot: command line, status, streams, environment, file systems -------------------
guest_script='
set -u
echo "args:$1|$2"
echo "greeting:$GREETING"
echo "passed:$PASSED_THROUGH"
echo "quoted:$QUOTED"
echo "plain:$PLAIN"
echo "unset:${NOT_PASSED-unset}"
echo "cwd:$PWD"
echo "home:$HOME"
if touch /usr/realmidi-probe 2>/dev/null; then echo "root:writable"; else echo "root:read-only"; fi
touch /tmp/probe "$HOME/probe" /run/probe /dev/shm/probe && echo "tmpfs:writable"
echo from-guest >"$VM_RESULTS/probe" && echo "results:written"
test -c /dev/snd/seq && echo "seq:present"
ls /dev/snd | grep -q "^midiC" && echo "virmidi:present"
echo "to stderr" >&2
exit 7
'
export PASSED_THROUGH=from-host NOT_PASSED=host-only
VM_ENV="PLAIN=1" VM_RESULTS="$tmp/results" run_vm contract -t 300 -m snd-virmidi \
    -e "GREETING=hello  world" -e PASSED_THROUGH -e "QUOTED=it's \$HOME \"x\"" \
    -- bash -c "$guest_script" guest-script "arg with  spaces" 'and $dollar'

expect "the command's exit status comes back" "$(cat "$tmp/contract.status")" 7
expected_lines=(
    'args:arg with  spaces|and $dollar'
    'greeting:hello  world'
    'passed:from-host'
    "quoted:it's \$HOME \"x\""
    'plain:1'
    'unset:unset'
    "cwd:$here"
    'home:/tmp/home'
    'root:read-only'
    'tmpfs:writable'
    'results:written'
    'seq:present'
    'virmidi:present'
)
for line in "${expected_lines[@]}"; do
    found=missing
    grep -qxF -- "$line" "$tmp/contract.out" && found=present
    expect "stdout has: $line" "$found" present
done
expect "stderr comes back on stderr" "$(grep -cxF 'to stderr' "$tmp/contract.err" || true)" 1
expect "stderr stays out of stdout" "$(grep -cxF 'to stderr' "$tmp/contract.out" || true)" 0
expect "a file written to the results folder reaches the host" "$(cat "$tmp/results/probe" 2>/dev/null)" from-guest

# --- a guest that never ends is killed ------------------------------------------------------
started=$SECONDS
run_vm hung -t 30 sleep 3600
expect "a hung guest ends vm.sh with 124" "$(cat "$tmp/hung.status")" 124
# Generous: the point is that it did not wait for the command's hour.
expect "a hung guest is stopped within minutes" "$(((SECONDS - started) < 300))" 1

# --- a harness failure is not the command's status ------------------------------------------
run_vm nomodule -t 300 -m no-such-module-here -- echo command-ran
expect "a module that cannot load ends vm.sh with 125" "$(cat "$tmp/nomodule.status")" 125
expect "... and says which module" "$(grep -c 'no-such-module-here' "$tmp/nomodule.err" || true)" 1
expect "... and the command did not run" "$(grep -c 'command-ran' "$tmp/nomodule.out" || true)" 0

if [ "$failures" -ne 0 ]; then
    for f in "$tmp"/*.out "$tmp"/*.err; do
        echo "---- $(basename "$f")"
        cat "$f"
    done
    exit 1
fi
