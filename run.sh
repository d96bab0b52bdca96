#!/usr/bin/env bash
# Builds Flashwell and runs it, installing whatever is missing (Debian 12).
#   - A pedal in boot mode on this computer's MIDI ports: the real `flashwell`.
#   - No pedal: `flashwell-demo`, the same updater with an emulated pedal on its MIDI link.
#   - A display: the window opens and you click "update".
#   - No display: an unattended run under Xvfb; prints the outcome and the exit code, and saves
#     the window as it stood at the end to build/last-run.png.
# Options are passed on (for example --autoupdate). FLASHWELL_DEMO_PEDAL picks the emulated
# pedal's behaviour: healthy, absent, never-comes-back, silent-after-restart, wrong-revision,
# short-reply, noisy.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/common.sh

need_packages "${FLASHWELL_PACKAGES[@]}"
build build

pedal_connected() {
    [ -e /dev/snd/seq ] && grep -qi 'port.*boot' /proc/asound/seq/clients 2>/dev/null
}

if pedal_connected; then
    echo "A pedal in boot mode is connected: running flashwell on the computer's MIDI ports."
    program=./build/flashwell
else
    echo "No pedal connected: running the updater against the emulated pedal (${FLASHWELL_DEMO_PEDAL:-healthy})."
    program=./build/flashwell-demo
fi

if [ -n "${DISPLAY:-}" ]; then
    exec "$program" "$@"
fi

echo "No display: an unattended run under Xvfb."
report=build/last-run-report.txt
rm -f "$report"
status=0
FLASHWELL_DEMO_REPORT="$PWD/$report" FLASHWELL_DEMO_SCREENSHOT="$PWD/build/last-run.png" \
    with_display "$program" --autoupdate >build/last-run.log 2>&1 || status=$?

case $status in
    0) echo "Outcome: the pedal runs the new firmware (revision 739)." ;;
    255) echo "Outcome: the update failed, or no pedal was found." ;;
    *) echo "Outcome: the program ended unexpectedly." ;;
esac
echo "Exit code: $status"
if [ -f "$report" ]; then
    echo "The pedal's side:"
    grep -v '^arrival_ms=' "$report" | sed 's/^/  /'
fi
[ -f build/last-run.png ] && echo "The window at the end: build/last-run.png (program output: build/last-run.log)"
exit $status
