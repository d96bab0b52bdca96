#!/usr/bin/env bash
# Builds Flashwell and runs every test, installing whatever is missing (Debian 12).
#   ./test.sh          the format check, the test suite, then the suite again under
#                      AddressSanitizer+UndefinedBehaviorSanitizer and under ThreadSanitizer
#   ./test.sh --quick  the format check and the test suite only
set -euo pipefail
cd "$(dirname "$0")"
source scripts/common.sh

quick=0
[ "${1:-}" = "--quick" ] && quick=1

need_packages "${FLASHWELL_PACKAGES[@]}"

echo "== source layout (clang-format)"
git ls-files -co --exclude-standard -- '*.h' '*.cpp' | xargs clang-format --dry-run -Werror

echo "== build and test"
build build
with_display ctest --test-dir build --output-on-failure -j2

if [ $quick -eq 0 ]; then
    export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
    export TSAN_OPTIONS="halt_on_error=1 suppressions=$PWD/tests/tsan.supp"
    for sanitizer in address thread; do
        echo "== build and test under the $sanitizer sanitizer"
        build "build-$sanitizer" -DFLASHWELL_SANITIZE=$sanitizer
        with_display ctest --test-dir "build-$sanitizer" --output-on-failure -j2 -LE no-sanitizer
    done
fi
