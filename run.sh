#!/usr/bin/env bash
# Installs what is missing, builds Varrow, starts the bundled tile service and
# the program against it. The service stops when the program ends.
set -euo pipefail
source "$(dirname "$0")/scripts/common.sh"

varrow_ensure_packages "${VARROW_BUILD_PACKAGES[@]}"
varrow_build OFF

port="${VARROW_TILES_PORT:-8600}"
tiles="$VARROW_BUILD/tools/tileserver/varrow-tiles"
app="$VARROW_BUILD/src/app/varrow"

"$tiles" --port "$port" &
tiles_pid=$!
trap 'kill "$tiles_pid" 2>/dev/null || true' EXIT
# 8600 is the program's built-in address; only another port needs saying, so
# that a service chosen in the settings dialog keeps working otherwise.
if [ "$port" != 8600 ]; then
  export VARROW_TILE_SERVICE="${VARROW_TILE_SERVICE:-http://127.0.0.1:$port}"
fi
"$app"
