#!/usr/bin/env bash
# Redraws docs/main-window.png and docs/help-window.png from running windows: show_windows (a
# test tool) opens them in the state after a successful update, on a display of its own.
#   docs/make_screenshots.sh [BUILD-DIR]      (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
cmake --build "$build" --target show_windows >/dev/null
tool="$build/tests/show_windows"

source scripts/common.sh
start_xvfb 120
xvfb=$XVFB_PID
export DISPLAY="$XVFB_DISPLAY"
pid=""
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null
    kill "$xvfb" 2>/dev/null
}
trap cleanup EXIT

# shoot MODE TITLE FILE: captures the window named TITLE as show_windows MODE draws it.
shoot() {
    "$tool" "$1" >/dev/null 2>&1 &
    pid=$!
    local wid
    wid=$(timeout 20 xdotool search --sync --onlyvisible --name "^$2\$" | head -n1)
    sleep 1 # the progress bar follows its value on a timer
    import -window "$wid" "$3"
    kill "$pid"
    wait "$pid" 2>/dev/null || true
    pid=""
    echo "$3: $(identify -format '%w x %h' "$3")"
}

shoot main "Firmware Updater" docs/main-window.png
shoot help "Firmware Update Help" docs/help-window.png
