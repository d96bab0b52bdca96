# Shared by run.sh and test.sh: install what is missing, build, and find a display.
# shellcheck shell=bash

FLASHWELL_PACKAGES=(build-essential cmake ninja-build pkg-config ccache juce-modules-source
                    libgtest-dev libgmock-dev xvfb xauth xdotool x11-utils imagemagick clang-format)

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# need_packages NAME...: installs the Debian packages that are not installed yet.
need_packages() {
    local missing=()
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "Installing: ${missing[*]}"
        as_root apt-get update -q
        as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
    fi
}

# build DIR [CMAKE ARGS...]: configures once, then builds incrementally.
build() {
    local dir="$1"; shift
    local launcher=()
    command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
    if [ ! -f "$dir/build.ninja" ]; then
        cmake -G Ninja -S . -B "$dir" "${launcher[@]}" "$@"
    fi
    cmake --build "$dir"
}

# start_xvfb FIRST: starts Xvfb on the first free display number from FIRST on; sets
# XVFB_DISPLAY and XVFB_PID. The caller stops it.
start_xvfb() {
    local n="$1"
    while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    XVFB_PID=$!
    XVFB_DISPLAY=":$n"
    for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.05; done
}

# with_display CMD...: runs CMD with a display, starting Xvfb when there is none.
with_display() {
    if [ -n "${DISPLAY:-}" ]; then
        "$@"
        return
    fi
    start_xvfb 90
    local xvfb=$XVFB_PID status=0
    DISPLAY="$XVFB_DISPLAY" "$@" || status=$?
    kill "$xvfb" 2>/dev/null
    wait "$xvfb" 2>/dev/null || true
    return $status
}
