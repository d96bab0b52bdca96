#!/usr/bin/env bash
# The Debian package as a user gets it: builds it with packaging/build_deb.sh, checks its
# control fields, its files, the desktop entry, the AppStream metadata, the manual page and
# lintian's verdict, unpacks it into a scratch root and starts the updater from there on a
# display of its own.
#   check_package.sh [BUILD_DIR]     (default: build-package/ beside the sources; reused)
set -u
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
build_dir=$(realpath -m "${1:-$source_dir/build-package}")
source "$source_dir/scripts/common.sh"

# The Debian tools the checks use, and the build's own needs (juce-modules-source and the rest).
need_packages lintian desktop-file-utils appstream dpkg-dev man-db xvfb xdotool imagemagick \
    "${FLASHWELL_PACKAGES[@]}"

work=$(mktemp -d)
xvfb=""
pid=""
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
fail=0
check() { if [ "$2" = "$3" ]; then echo "ok   $1"; else echo "FAIL $1: expected $3, got $2"; fail=1; fi; }
# render PAGE: the manual page as one long line, so that no sentence is broken or hyphenated
# where a check looks for it; man's warnings go to $work/man.log.
render() { LC_ALL=C.UTF-8 MANWIDTH=1000 man --warnings -E UTF-8 -l "$1" 2>"$work/man.log" | col -b | tr -s ' \t\n' ' '; }
contains() { if grep -qF -- "$3" <<<"$2"; then echo "ok   $1"; else echo "FAIL $1: no \"$3\" in: ${2:0:300}"; fail=1; fi; }

# --- build ----------------------------------------------------------------------------------
debs=$("$source_dir/packaging/build_deb.sh" "$build_dir" 2>"$work/build.log")
if [ $? -ne 0 ]; then
    tail -n 40 "$work/build.log"
    echo "FAIL packaging/build_deb.sh did not make the packages"
    exit 1
fi
deb=$(grep '/flashwell_[^/]*\.deb$' <<<"$debs")
[ -n "$deb" ] || { echo "FAIL no flashwell_*.deb among: $debs"; exit 1; }
echo "ok   cpack made $(basename "$deb")"

field() { dpkg-deb -f "$deb" "$1"; }
expected_version=$(dpkg-parsechangelog -l "$source_dir/packaging/changelog.Debian" -SVersion)
check "the package is named flashwell" "$(field Package)" flashwell
check "its version is the changelog's last entry" "$(field Version)" "$expected_version"
check "its section is sound" "$(field Section)" sound
check "it names its maintainer" "$(field Maintainer | grep -c '^[^<]\+ <[^@>]\+@[^>]\+>$')" 1
depends=$(field Depends)
# dpkg-shlibdeps read the program's libraries; the ones JUCE opens at run time are named by hand.
for library in libc6 libstdc++6 libasound2 libfreetype6 libx11-6 libxext6; do
    contains "it depends on $library" "$depends" "$library"
done

# Every dependency must exist in Debian's archive, or apt-get install ./flashwell_*.deb fails.
if ! apt-cache policy libc6 | grep -q 'Candidate: [0-9]'; then
    as_root apt-get update -q >/dev/null
fi
if apt-get install -s -q "$deb" >"$work/apt.log" 2>&1; then
    echo "ok   apt-get can install it with all it depends on"
else
    tail -n 20 "$work/apt.log"
    echo "FAIL apt-get cannot install it"
    fail=1
fi

# --- files ----------------------------------------------------------------------------------
root="$work/root"
dpkg -x "$deb" "$root"
appstream_id=$(sed -n 's/^FLASHWELL_APPSTREAM_ID:[A-Z]*=//p' "$build_dir/CMakeCache.txt")
metainfo=usr/share/metainfo/$appstream_id.metainfo.xml
expected_files=$(sort <<EOF
usr/bin/flashwell
usr/share/applications/flashwell.desktop
usr/share/doc/flashwell/changelog.Debian.gz
usr/share/doc/flashwell/copyright
usr/share/icons/hicolor/16x16/apps/flashwell.png
usr/share/icons/hicolor/256x256/apps/flashwell.png
usr/share/icons/hicolor/32x32/apps/flashwell.png
usr/share/icons/hicolor/48x48/apps/flashwell.png
usr/share/man/man1/flashwell.1.gz
$metainfo
EOF
)
check "it holds exactly the program, its entry, icons, manual page, metadata and Debian files" \
    "$(cd "$root" && find . -type f -o -type l | sed 's:^\./::' | sort | tr '\n' ' ')" "$(tr '\n' ' ' <<<"$expected_files")"

for size in 16 32 48 256; do
    icon="$root/usr/share/icons/hicolor/${size}x${size}/apps/flashwell.png"
    check "the ${size}x${size} icon is ${size} pixels square" "$(identify -format '%wx%h' "$icon" 2>/dev/null)" "${size}x${size}"
done

desktop="$root/usr/share/applications/flashwell.desktop"
if desktop-file-validate "$desktop" >"$work/desktop.log" 2>&1 && [ ! -s "$work/desktop.log" ]; then
    echo "ok   desktop-file-validate finds nothing to say about the desktop entry"
else
    cat "$work/desktop.log"
    echo "FAIL desktop-file-validate: the desktop entry"
    fail=1
fi
exec_program=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
check "the entry starts a program the package installs" "$([ -x "$root/usr/bin/$exec_program" ] && echo yes)" yes
icon_name=$(sed -n 's/^Icon=//p' "$desktop")
check "the entry's icon is the one the package installs in every size" \
    "$(ls "$root"/usr/share/icons/hicolor/*/apps/"$icon_name".png 2>/dev/null | wc -l)" 4

if appstreamcli validate --no-net --pedantic "$root/$metainfo" >"$work/appstream.log" 2>&1; then
    echo "ok   appstreamcli validate --no-net accepts the metadata"
    grep -E '^[WIP]:' "$work/appstream.log" | sed 's/^/     /'
else
    cat "$work/appstream.log"
    echo "FAIL appstreamcli validate --no-net: the metadata"
    fail=1
fi
check "the metadata's id is its file's name" "$(sed -n 's:.*<id>\(.*\)</id>.*:\1:p' "$root/$metainfo")" "$appstream_id"
launchable=$(sed -n 's:.*<launchable type="desktop-id">\(.*\)</launchable>.*:\1:p' "$root/$metainfo")
check "the metadata launches the package's desktop entry" "$launchable" flashwell.desktop
check "the metadata's release is the package's version" \
    "$(grep -c "<release version=\"${expected_version%-*}\"" "$root/$metainfo")" 1

manpage="$root/usr/share/man/man1/flashwell.1.gz"
check "the manual page is gzip data" "$(gzip -t "$manpage" 2>&1 && echo good)" good
manual=$(render "$manpage")
check "man renders the page without a warning" "$(cat "$work/man.log")" ""
for text in "flashwell - firmware updater" "--autoupdate" "EXIT STATUS" "255" "boot mode" "Only one Flashwell runs at a time"; do
    contains "the manual page tells: $text" "$manual" "$text"
done

# --- lintian --------------------------------------------------------------------------------
# Errors fail the check; warnings and notes are listed for a person to weigh.
lintian --fail-on error --display-info $debs >"$work/lintian.log" 2>&1
lintian_status=$?
sed 's/^/     lintian: /' "$work/lintian.log" | grep -v 'running with root privileges'
check "lintian finds no error in the packages" "$lintian_status" 0

# --- the optional pedal emulator package ----------------------------------------------------
if ninja -C "$build_dir" -t targets all | grep -q '^flashwell-pedal:'; then
    pedal_deb=$(grep '/flashwell-pedal_[^/]*\.deb$' <<<"$debs")
    check "the build has the pedal emulator, so cpack made flashwell-pedal too" "$([ -n "$pedal_deb" ] && echo yes)" yes
    if [ -n "$pedal_deb" ]; then
        pedal_root="$work/pedal-root"
        dpkg -x "$pedal_deb" "$pedal_root"
        check "flashwell-pedal holds exactly its program, its manual page and its Debian files" \
            "$(cd "$pedal_root" && find . -type f -o -type l | sed 's:^\./::' | sort | tr '\n' ' ')" \
            "usr/bin/flashwell-pedal usr/share/doc/flashwell-pedal/changelog.Debian.gz usr/share/doc/flashwell-pedal/copyright usr/share/man/man1/flashwell-pedal.1.gz "
        pedal_manual=$(render "$pedal_root/usr/share/man/man1/flashwell-pedal.1.gz")
        check "man renders flashwell-pedal's page without a warning" "$(cat "$work/man.log")" ""
        contains "flashwell-pedal's manual page tells its faults" "$pedal_manual" "--fault name"
        pedal_help=$("$pedal_root/usr/bin/flashwell-pedal" --help 2>&1)
        check "the unpacked flashwell-pedal starts and tells its options" "$?" 0
        contains "its options include the faults" "$pedal_help" "--fault NAME"
    fi
else
    echo "skip flashwell-pedal: this build has no standalone pedal emulator"
fi

# --- the installed program ------------------------------------------------------------------
app="$root/usr/bin/flashwell"

# With no ALSA sequencer here no pedal can be found: an unattended run must say so with 255.
# A 0 means another Flashwell on this machine held the single-instance lock: wait and retry.
if [ ! -e /dev/snd/seq ]; then
    for _ in $(seq 20); do
        xvfb-run -a "$app" --autoupdate >/dev/null 2>&1
        rc=$?
        [ $rc -ne 0 ] && break
        sleep 3
    done
    check "an unattended run of the installed program with no pedal exits with 255" "$rc" 255
else
    echo "skip the unattended run with no pedal: this machine has an ALSA sequencer"
fi

Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
[ -s "$work/display" ] || { echo "FAIL Xvfb did not start"; exit 1; }
export DISPLAY=":$(head -n1 "$work/display")"

# start: runs the installed program and waits for its main window; sets pid and wid. Another
# Flashwell on the machine makes ours end at once: wait and retry.
start() {
    wid=""
    for _ in $(seq 20); do
        "$app" >/dev/null 2>&1 &
        pid=$!
        wid=$(timeout 15 xdotool search --sync --onlyvisible --pid "$pid" --name '^Firmware Updater$' 2>/dev/null | head -n1)
        [ -n "$wid" ] && return 0
        kill "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
        pid=""
        sleep 3
    done
    return 1
}

if start; then
    echo "ok   the installed flashwell opens its \"Firmware Updater\" window"
    # A picture of it for a person to look at; it paints once it has read its first events.
    xdotool mousemove --window "$wid" 320 200 2>/dev/null
    sleep 1
    import -window "$wid" "$build_dir/installed-window.png" 2>/dev/null
    # The close button sits at the right end of JUCE's title bar. JUCE reads X events only when
    # its connection becomes readable, so a pointer move after the click makes sure it looks.
    xdotool mousemove --window "$wid" 629 16 click 1
    rc=running
    for _ in $(seq 100); do
        if ! kill -0 "$pid" 2>/dev/null; then
            wait "$pid"
            rc=$?
            break
        fi
        xdotool mousemove --window "$wid" 320 200 2>/dev/null
        sleep 0.1
    done
    check "its close button ends it with 0" "$rc" 0
    [ "$rc" = running ] && kill "$pid" 2>/dev/null
    pid=""
else
    echo "FAIL the installed flashwell showed no \"Firmware Updater\" window"
    fail=1
fi

exit $fail
