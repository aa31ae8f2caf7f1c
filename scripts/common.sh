# Shared by run.sh and test.sh: install what is missing, then configure and build.
# Sourced, not run.

VARROW_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
VARROW_BUILD="${VARROW_BUILD:-$VARROW_ROOT/build}"

# Debian packages the build and the program need.
VARROW_BUILD_PACKAGES=(
  cmake g++ make pkg-config
  qt6-base-dev libcurl4-openssl-dev libpugixml-dev libgif-dev libpng-dev libjpeg-dev libcpp-httplib-dev zlib1g-dev
  fonts-dejavu-core
)
# Extra packages the tests use to check our files with other programs.
VARROW_TEST_PACKAGES=(libgtest-dev imagemagick netpbm unzip libtiff-tools poppler-utils gdal-bin python3 xauth xvfb)

varrow_ensure_packages() {
  local missing=()
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
}

varrow_build() {
  local testing="$1"
  if [ ! -f "$VARROW_BUILD/CMakeCache.txt" ]; then
    cmake -S "$VARROW_ROOT" -B "$VARROW_BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DBUILD_TESTING="$testing"
  else
    cmake "$VARROW_BUILD" -DBUILD_TESTING="$testing" >/dev/null
  fi
  cmake --build "$VARROW_BUILD" -j "$(nproc)"
}
