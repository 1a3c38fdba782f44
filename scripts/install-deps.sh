#!/usr/bin/env bash
# Installs the Debian packages the build, the program, the tests and the .deb need (as root or
# through sudo).
#   scripts/install-deps.sh            everything (scripts/test.sh)
#   scripts/install-deps.sh --program  what the program needs; Wine and the cross compiler for its
#                                      DMXControl bridge (about 1 GB) only where Wine is already
#                                      installed, as it is where DMXControl runs (scripts/run.sh)
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev qt6-translations-l10n libx11-dev libfontconfig-dev fonts-dejavu-core fonts-dejavu-extra
  portaudio19-dev libsndfile1-dev libsamplerate0-dev libfftw3-dev
  zlib1g-dev libgif-dev libpng-dev libjpeg-dev
  xvfb xauth ccache
  dpkg-dev file
  libasound2-plugins
)
wine_packages=(g++-mingw-w64-x86-64 g++-mingw-w64-i686 wine64)
# Only for the tests: clang builds the fuzz targets of .ci/run, and the live-input tests start a
# private PulseAudio (not where PipeWire's pulse server is installed: it would replace it).
test_packages=(clang-14 libclang-rt-14-dev)
if ! dpkg-query -W -f='${Status}' pipewire-pulse 2>/dev/null | grep -q "install ok installed"; then
  test_packages+=(pulseaudio pulseaudio-utils)
fi
if [ "${1:-}" = "--program" ]; then
  if command -v wine64 >/dev/null || command -v wine >/dev/null || [ -x /usr/lib/wine/wine64 ]; then
    packages+=("${wine_packages[@]}")
  else
    echo "install-deps.sh: no Wine here, so not the DMXControl bridge's Wine and cross compiler (scripts/test.sh installs them)" >&2
  fi
elif [ $# -gt 0 ]; then
  echo "usage: scripts/install-deps.sh [--program]" >&2
  exit 2
else
  packages+=("${wine_packages[@]}" "${test_packages[@]}")
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
