#!/usr/bin/env bash
# Opens each window of the program in the Qt view on a virtual X display (Xvfb) and saves a
# picture of each, NAME.png, into OUTPUT_DIR: the check that every caption is whole, the check
# and option boxes show on their backgrounds and the button faces have their colours.
#   scripts/screenshot-windows.sh [OUTPUT_DIR] [BUILD_DIR]
# OUTPUT_DIR defaults to BUILD_DIR/window-screenshots. Needs xvfb (xvfb-run); builds test_operator
# in BUILD_DIR (default: build) when missing.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(realpath -m "${2:-$root/build}")"
out="$(realpath -m "${1:-$build/window-screenshots}")"
tests="$build/bin/test_operator"

if [[ ! -x "$tests" ]]; then
    [[ -f "$build/build.ninja" ]] || cmake -S "$root" -B "$build" -G Ninja >/dev/null
    cmake --build "$build" --target test_operator
fi
command -v xvfb-run >/dev/null || { echo "xvfb-run is missing (Debian package xvfb)" >&2; exit 1; }
mkdir -p "$out"
KORVELLA_SHOT_DIR="$out" QT_QPA_PLATFORM=xcb \
    xvfb-run -a -s "-screen 0 1600x1200x24" "$tests" --gtest_filter='LooksTest.EveryCaptionOfEveryWindowFitsItsControl'
ls "$out"/*.png
