#!/usr/bin/env bash
# The shipped program's windows as the desktop sees them: the main window's title and size,
# which no resize changes, its icon, the help window, and both ways of closing the main window,
# each ending the program with 0.
#   window_checks.sh FLASHWELL WM_STUB
set -u
app="$1"
wm_stub="$2"
fail=0
check() { if [ "$2" = "$3" ]; then echo "ok   $1"; else echo "FAIL $1: expected $3, got $2"; fail=1; fi; }

# A display of its own: other tests open their windows at the same place on the shared one,
# and a click or a search by title must find ours. Xvfb picks a free number itself.
work=$(mktemp -d)
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
xvfb=$!
stub_pid=""
trap 'kill $stub_pid $xvfb 2>/dev/null; wait $stub_pid $xvfb 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
[ -s "$work/display" ] || { echo "FAIL Xvfb did not start"; exit 1; }
export DISPLAY=":$(head -n1 "$work/display")"

# A desktop always has the window manager's atoms; the bare display gets them from the stub,
# which keeps them alive while it stays connected.
coproc stub { exec "$wm_stub" atoms; }
stub_pid=$stub_PID
read -r -t 10 ready <&"${stub[0]}"
[ "${ready:-}" = ready ] || { echo "FAIL the window manager stand-in did not start"; exit 1; }

size_of() { xwininfo -id "$1" | awk '/Width:/ { w = $2 } /Height:/ { h = $2 } END { print w "x" h }'; }

# start: runs the program and waits for its main window; sets pid and wid. The single-instance
# lock is machine-wide, so a program started elsewhere makes ours end at once: wait and retry.
start() {
    wid=""
    for _ in $(seq 30); do
        "$app" >/dev/null 2>&1 &
        pid=$!
        for _ in $(seq 100); do
            # By pid too: the last run's window may outlive its program for a moment.
            wid=$(xdotool search --all --onlyvisible --pid "$pid" --name '^Firmware Updater$' 2>/dev/null | head -n1)
            [ -n "$wid" ] && return 0
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.1
        done
        kill "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
        sleep 2
    done
    echo "FAIL the main window did not appear"
    exit 1
}

# JUCE reads X events only when its connection becomes readable: an event that comes in while
# it is inside another X call waits in Xlib's queue until the next one arrives. A desktop sends a
# steady stream of pointer events; on the bare display one pointer move stands in for them.
nudge() { xdotool mousemove --window "$wid" 320 200 2>/dev/null; }

# await_exit: waits for the program to end; sets rc to its exit code ("running" if it did not).
await_exit() {
    for attempt in 1 2; do
        for _ in $(seq 50); do
            if ! kill -0 "$pid" 2>/dev/null; then
                wait "$pid"
                rc=$?
                return
            fi
            sleep 0.1
        done
        nudge
    done
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    rc=running
}

# size_after_resize W H: asks for another size from outside and prints the size that results.
size_after_resize() {
    xdotool windowsize "$wid" "$1" "$2"
    for attempt in 1 2; do
        for _ in $(seq 30); do
            [ "$(size_of "$wid")" = 650x270 ] && break 2
            sleep 0.1
        done
        nudge
    done
    size_of "$wid"
}

start
check "the main window is 650 x 270" "$(size_of "$wid")" 650x270
check "it stays 650 x 270 when made bigger" "$(size_after_resize 800 400)" 650x270
check "it stays 650 x 270 when made smaller" "$(size_after_resize 300 120)" 650x270
check "it carries the 48 pixel icon" "$(xprop -id "$wid" _NET_WM_ICON | head -c 200 | grep -o 'Icon ([0-9]* x [0-9]*)' | head -n1)" "Icon (48 x 48)"

# The help text comes from the model, through the controller.
# "Help" sits at the right end of the panel's top, below JUCE's 26 pixel title bar.
xdotool mousemove --window "$wid" 589 47 click 1
help=""
for attempt in 1 2; do
    for _ in $(seq 50); do
        help=$(xdotool search --all --onlyvisible --pid "$pid" --name '^Firmware Update Help$' 2>/dev/null | head -n1)
        [ -n "$help" ] && break 2
        sleep 0.1
    done
    nudge
done
if [ -n "$help" ]; then
    check "Help opens a 550 x 400 help window" "$(size_of "$help")" 550x400
else
    check "Help opens the help window" "none" "a window"
fi

# The close button sits at the right end of JUCE's title bar.
xdotool mousemove --window "$wid" 629 16 click 1
await_exit
check "the close button ends the program with 0" "$rc" 0

start
"$wm_stub" close "$wid"
await_exit
check "the window manager's close ends the program with 0" "$rc" 0

exit $fail
