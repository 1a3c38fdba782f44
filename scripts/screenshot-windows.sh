#!/usr/bin/env bash
# Pictures of the program as a user meets it, on a virtual X display (Xvfb, one 1920 x 1080
# screen) with a window manager (openbox), saved into OUTPUT_DIR:
#   first-show.png    the whole screen a few seconds after "Start": the main window, its beat
#                     counter counting the demo track, and the projector beside it playing an effect
#   NAME.png          each window of the program on its own (frmBeats, Form1 ... frmCustom): the
#                     check that every caption is whole, the check and option boxes show on their
#                     backgrounds and the button faces have their colours
#   form4-on-top.png  "DMXControl extern Effektsteuerung" after a name reading, on top of a
#                     stand-in's KommandoBox window and the main window
#   scripts/screenshot-windows.sh [OUTPUT_DIR] [BUILD_DIR]
# OUTPUT_DIR defaults to BUILD_DIR/window-screenshots; docs/screenshots holds the README's.
# Needs xvfb (xvfb-run); installs openbox when it is missing; builds korvella and test_operator in
# BUILD_DIR (default: build) when missing.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(realpath -m "${2:-$root/build}")"
out="$(realpath -m "${1:-$build/window-screenshots}")"
tests="$build/bin/test_operator"
program="$build/bin/korvella"

missing=()
for t in korvella korvella_assets wavorix test_operator; do
    case "$t" in
    korvella) [[ -x "$program" ]] || missing+=("$t") ;;
    test_operator) [[ -x "$tests" ]] || missing+=("$t") ;;
    korvella_assets) [[ -d "$build/bin/assets/Effekts" ]] || missing+=("$t") ;;
    wavorix) [[ -e "$build/bin/libwavorix.so" ]] || missing+=("$t") ;;
    esac
done
if ((${#missing[@]})); then
    [[ -f "$build/build.ninja" ]] || cmake -S "$root" -B "$build" -G Ninja >/dev/null
    for t in "${missing[@]}"; do cmake --build "$build" --target "$t"; done
fi
command -v xvfb-run >/dev/null || { echo "xvfb-run is missing (Debian package xvfb)" >&2; exit 1; }
if ! command -v openbox >/dev/null; then
    echo "installing the window manager openbox (only these pictures need it)" >&2
    sudo=""
    [[ $(id -u) -eq 0 ]] || sudo="sudo"
    $sudo apt-get update -qq
    $sudo apt-get install -y -qq --no-install-recommends openbox >/dev/null
fi
mkdir -p "$out"

# The program's folder and settings go to a scratch place, so that the runs leave the user's alone.
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
effect="$(find "$build/bin/assets/Effekts" -name '*.swf' | sort | head -1)"

cat >"$scratch/inside.sh" <<'EOF'
set -eu
openbox >/dev/null 2>&1 &
wm=$!
sleep 1  # the window manager takes the screen
status=0
KORVELLA_HOME="$SCRATCH/home" XDG_CONFIG_HOME="$SCRATCH/config" XDG_CACHE_HOME="$SCRATCH/cache" \
    KORVELLA_INPUT_FILE="$BUILD/bin/assets/Demo.flac" KORVELLA_NO_SYSTEM_AUDIO=1 KORVELLA_WINE=0 \
    QT_QPA_PLATFORM=xcb "$BUILD/bin/korvella" --start --effect "$EFFECT" --quit-after 8 \
    --screenshot "$OUT/first-show.png" 2>"$SCRATCH/korvella.log" || { cat "$SCRATCH/korvella.log" >&2; status=1; }
KORVELLA_SHOT_DIR="$OUT" QT_QPA_PLATFORM=xcb "$BUILD/bin/test_operator" \
    --gtest_filter='LooksTest.EveryCaptionOfEveryWindowFitsItsControl:StackingTest.*' >"$SCRATCH/tests.log" 2>&1 ||
    { cat "$SCRATCH/tests.log" >&2; status=1; }
kill "$wm" 2>/dev/null || true
exit $status
EOF
SCRATCH="$scratch" BUILD="$build" OUT="$out" EFFECT="$effect" \
    xvfb-run -a -s "-screen 0 1920x1080x24" bash "$scratch/inside.sh"
ls "$out"/*.png
