#!/usr/bin/env bash
# korvella --help and --list-inputs answer without a display (no X, no Wayland, no Qt platform).
set -euo pipefail
korvella="$1"
run() { env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM KORVELLA_NO_SYSTEM_AUDIO=1 "$@"; }
fail() { echo "FAIL: $*" >&2; exit 1; }

out=$(run "$korvella" --help) || fail "--help exits with $?"
grep -q '^usage: ' <<<"$out" && grep -q -- '--list-inputs' <<<"$out" || fail "--help prints no usage: $out"
grep -q 'KORVELLA_INPUT_FILE' <<<"$out" || fail "--help does not name KORVELLA_INPUT_FILE"

out=$(KORVELLA_INPUT_FILE= run "$korvella" --list-inputs) || fail "--list-inputs exits with $?"
grep -q '^no input device' <<<"$out" || fail "--list-inputs without devices: $out"

status=0
run "$korvella" --bogus >/dev/null 2>&1 || status=$?
[ "$status" -eq 2 ] || fail "an unknown option exits with $status, not 2"
echo "ok"
