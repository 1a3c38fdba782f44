#!/usr/bin/env bash
# Shows the Qt view on a virtual X display (Xvfb) and saves a screenshot of the whole screen:
# a test form with one control of each kind and the borderless projector playing a sample effect under dimmer 12.
#   scripts/screenshot-view.sh [OUTPUT.png] [BUILD_DIR]
# OUTPUT defaults to BUILD_DIR/view-screenshot.png; KORVELLA_SHOT_AFTER_MS sets when (1500).
# Needs xvfb (xvfb-run); builds korvella-viewdemo in BUILD_DIR (default: build) when missing.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(realpath -m "${2:-$root/build}")"
out="$(realpath -m "${1:-$build/view-screenshot.png}")"
demo="$build/bin/korvella-viewdemo"

if [[ ! -x "$demo" ]]; then
    [[ -f "$build/build.ninja" ]] || cmake -S "$root" -B "$build" -G Ninja >/dev/null
    cmake --build "$build" --target korvella-viewdemo
fi
command -v xvfb-run >/dev/null || { echo "xvfb-run is missing (Debian package xvfb)" >&2; exit 1; }

# The program's folder goes to a scratch place, so that the run leaves the user's alone.
home="$(mktemp -d)"
trap 'rm -rf "$home"' EXIT
KORVELLA_HOME="$home" QT_QPA_PLATFORM=xcb \
    xvfb-run -a -s "-screen 0 1280x800x24" "$demo" --screenshot "$out" --after "${KORVELLA_SHOT_AFTER_MS:-1500}"
echo "$out"
