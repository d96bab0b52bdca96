#!/usr/bin/env bash
# Builds Flashwell and runs it, installing whatever is missing (Debian 12).
# Without a display the updater runs under Xvfb.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/common.sh

need_packages "${FLASHWELL_PACKAGES[@]}"
build build
with_display ./build/flashwell "$@"
