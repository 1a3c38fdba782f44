#!/usr/bin/env bash
# Installs what is missing, builds the program (not the tests) and starts Korvella.
# Without a capture device and without KORVELLA_INPUT_FILE it plays the demo track, so that
# "Start" counts beats on any machine. Arguments go to the program (korvella --help).
set -euo pipefail
cd "$(dirname "$0")/.."
say() { echo "run.sh: $*" >&2; }

say "checking the Debian packages (scripts/install-deps.sh --program)"
scripts/install-deps.sh --program
say "building the program, its libraries, korvella-sim, wavorix-register and the delivered data (the tests are built by scripts/test.sh)"
started=$SECONDS
# The relay to DMXControl under Wine, where the cross compilers are there.
relay=()
command -v x86_64-w64-mingw32-g++ >/dev/null && relay+=(korvella-relay_exe)
command -v i686-w64-mingw32-g++ >/dev/null && relay+=(korvella-relay32_exe)
dir=$(scripts/build.sh default korvella korvella_assets wavorix korvella-sim wavorix-register "${relay[@]}")
say "built in $((SECONDS - started)) s: $dir/bin/korvella, $dir/bin/korvella-sim, $dir/bin/wavorix-register"

demo="$PWD/$dir/bin/assets/Demo.flac"
if [ -z "${KORVELLA_INPUT_FILE:-}" ] && [ "${1:-}" != "--help" ] && [ "${1:-}" != "--list-inputs" ]; then
  if "$dir/bin/korvella" --list-inputs | grep -q '^no input device'; then
    say "no capture device: \"Start\" plays the demo track $demo (set KORVELLA_INPUT_FILE to play another file)"
    export KORVELLA_INPUT_FILE="$demo" KORVELLA_INPUT_LOOP="${KORVELLA_INPUT_LOOP:-1}"
  fi
fi
say "starting $dir/bin/korvella $*"
exec "$dir/bin/korvella" "$@"
