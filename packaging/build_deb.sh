#!/usr/bin/env bash
# Builds the Debian packages: a Release build with Debian's hardening flags, no tests, then
# `cpack -G DEB`. Prints the path of each package made, one a line, on standard output.
#   packaging/build_deb.sh [BUILD_DIR]     (default: build-package/ beside the sources)
# Needs cmake, ninja, a C++ compiler, juce-modules-source and dpkg-dev (dpkg-shlibdeps and
# dpkg-buildflags); run it again to rebuild incrementally.
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
build_dir=$(realpath -m "${1:-$source_dir/build-package}")
cd "$source_dir"

# The flags Debian builds its own packages with, all hardening on; no debug information,
# since the package's programs are stripped anyway. JUCE compiles in __DATE__: the date of the
# changelog's last entry stands in for the clock, so that a rebuild gives the same program.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
export DEB_CFLAGS_MAINT_STRIP=-g DEB_CXXFLAGS_MAINT_STRIP=-g DEB_CPPFLAGS_MAINT_STRIP=-Wdate-time
SOURCE_DATE_EPOCH=$(dpkg-parsechangelog -l packaging/changelog.Debian -STimestamp)
export SOURCE_DATE_EPOCH
cppflags=$(dpkg-buildflags --get CPPFLAGS)
cflags="$cppflags $(dpkg-buildflags --get CFLAGS)"
cxxflags="$cppflags $(dpkg-buildflags --get CXXFLAGS)"
ldflags=$(dpkg-buildflags --get LDFLAGS)

launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

# Progress goes to standard error: standard output carries only the packages' paths.
{
    cmake -G Ninja -S . -B "$build_dir" "${launcher[@]}" \
        -DCMAKE_BUILD_TYPE=Release -DFLASHWELL_TESTS=OFF \
        -DCMAKE_C_FLAGS="$cflags" -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags"
    cmake --build "$build_dir"
    rm -f "$build_dir"/*.deb
    (cd "$build_dir" && cpack -G DEB)
} >&2

ls "$build_dir"/*.deb
