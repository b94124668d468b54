# Shared by the project's scripts: the packages a fresh Debian 12 machine lacks, the Windows build
# and the project's own Wine prefix. Source it; it defines functions and variables only.

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
BUILD=${MIRASEE_BUILD:-$ROOT/build}
export WINEPREFIX="$BUILD/wineprefix"
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml="
XVFB_SCREEN="-screen 0 1280x1024x24"

PACKAGES=(cmake make g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev wine wine64 xvfb xauth googletest
  xdotool imagemagick x11-utils clang clang-tidy clang-format)

missing_packages() {
  local package
  for package in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || echo "$package"
  done
}

ensure_packages() {
  local missing
  missing=$(missing_packages | tr '\n' ' ')
  [ -z "${missing// /}" ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages: $missing" >&2
    echo "Install them with: sudo apt-get install -y $missing" >&2
    exit 1
  fi
  echo "Installing: $missing"
  apt-get update -qq
  # shellcheck disable=SC2086
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $missing >/dev/null
}

build_windows() {
  cmake -S "$ROOT" -B "$BUILD" --preset mingw-gcc >/dev/null
  cmake --build "$BUILD" --parallel "$(nproc)"
}

# Runs a command under a fresh Xvfb display with the prefix's wineserver started on that display.
with_display() {
  xvfb-run -a -s "$XVFB_SCREEN" bash "$ROOT/scripts/lib/on-display.sh" "$@"
}

# The demo's devices: a webcam and a capture card with chained crossbars and a tuner.
register_devices() {
  wine "$BUILD/bin/simcam.exe" remove --all
  wine "$BUILD/bin/simcam.exe" add "$(winepath -w "$ROOT/simcam/profiles/webcam.txt")"
  wine "$BUILD/bin/simcam.exe" add "$(winepath -w "$ROOT/simcam/profiles/capture-card.txt")"
}
