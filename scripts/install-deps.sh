#!/usr/bin/env bash
# Installs the Debian packages the build, the program, the tests and the .deb need (as root or
# through sudo).
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev qt6-translations-l10n libx11-dev libfontconfig-dev fonts-dejavu-core fonts-dejavu-extra
  portaudio19-dev libsndfile1-dev libsamplerate0-dev libfftw3-dev
  zlib1g-dev libgif-dev libpng-dev libjpeg-dev
  xvfb xauth ccache
  g++-mingw-w64-x86-64 g++-mingw-w64-i686 wine64
  dpkg-dev file
)
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
