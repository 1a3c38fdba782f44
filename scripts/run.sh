#!/usr/bin/env bash
# Installs what is missing, builds, registers the audio control and starts Korvella.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
dir=$(scripts/build.sh default)
if [ -x "$dir/bin/wavorix-register" ]; then
  "$dir/bin/wavorix-register" "$dir/bin/libwavorix.so"
fi
if [ -x "$dir/bin/korvella" ]; then
  exec "$dir/bin/korvella" "$@"
fi
echo "Korvella is built; its main window is not there yet, so nothing is shown."
