#!/usr/bin/env bash
# Installs what is missing, builds Varrow and runs every test.
set -euo pipefail
source "$(dirname "$0")/scripts/common.sh"

varrow_ensure_packages "${VARROW_BUILD_PACKAGES[@]}" "${VARROW_TEST_PACKAGES[@]}"
varrow_build ON
cd "$VARROW_BUILD"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$(nproc)" "$@"
