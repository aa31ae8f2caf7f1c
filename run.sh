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

if [ ! -x "$app" ]; then
  echo "The Varrow window is not built yet; starting the tile service only (Ctrl+C stops it)."
  exec "$tiles" --port "$port"
fi

"$tiles" --port "$port" &
tiles_pid=$!
trap 'kill "$tiles_pid" 2>/dev/null || true' EXIT
export VARROW_TILE_SERVICE="${VARROW_TILE_SERVICE:-http://127.0.0.1:$port}"
"$app"
