#!/usr/bin/env bash
# Takes docs/finished-update.png from a real interactive update: flashwell-demo (the updater on
# an emulated pedal) on a display of its own, "update" clicked, the window photographed once
# the pedal has restarted and the verdict is shown. About a minute.
#   docs/make_update_screenshot.sh [BUILD-DIR]      (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
cmake --build "$build" --target flashwell-demo >/dev/null

source scripts/common.sh
start_xvfb 130
xvfb=$XVFB_PID
export DISPLAY="$XVFB_DISPLAY"
pid=""
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null
    kill "$xvfb" 2>/dev/null
}
trap cleanup EXIT

"$build/flashwell-demo" >/dev/null 2>&1 &
pid=$!
wid=$(timeout 20 xdotool search --sync --onlyvisible --pid "$pid" --name '^Firmware Updater$' | head -n1)
sleep 2 # the pedal is found 300 ms after start; the button follows

# "update" sits at the panel's bottom right, below JUCE's title bar.
xdotool mousemove --window "$wid" 589 210 click 1
xdotool mousemove --window "$wid" 300 250

# 20 s erase, 19 s of data, 2.5 s until the pedal is looked for again, then the verdict.
sleep 48
import -window "$wid" docs/finished-update.png
echo "docs/finished-update.png"
