#!/usr/bin/env bash
# Installs what is missing, builds Varrow and starts it. The map source is the
# one chosen in the settings; the first time it is the demo landscape, which
# the program paints itself: nothing else needs starting.
set -euo pipefail
source "$(dirname "$0")/scripts/common.sh"

varrow_ensure_packages "${VARROW_BUILD_PACKAGES[@]}"
varrow_build OFF
exec "$VARROW_BUILD/src/app/varrow" "$@"
