#!/usr/bin/env bash
# Builds Flashwell and runs every test, installing whatever is missing (Debian 12).
set -euo pipefail
cd "$(dirname "$0")"
source scripts/common.sh

need_packages "${FLASHWELL_PACKAGES[@]}"

echo "== source layout (clang-format)"
git ls-files -co --exclude-standard -- '*.h' '*.cpp' | xargs clang-format --dry-run -Werror

echo "== build and test"
build build
with_display ctest --test-dir build --output-on-failure -j2
