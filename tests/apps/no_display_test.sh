#!/usr/bin/env bash
# The command line without a display (no X, no Wayland, no Qt platform): --help and --list-inputs
# answer, a bad argument is named, and everything else says in one line that it needs a display.
set -euo pipefail
korvella="$1"
run() { env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM KORVELLA_NO_SYSTEM_AUDIO=1 "$@"; }
fail() { echo "FAIL: $*" >&2; exit 1; }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

out=$(run "$korvella" --help) || fail "--help exits with $?"
grep -q '^usage: ' <<<"$out" && grep -q -- '--list-inputs' <<<"$out" || fail "--help prints no usage: $out"
for v in KORVELLA_INPUT_FILE KORVELLA_INPUT_LOOP KORVELLA_HOME KORVELLA_WINE WINEPREFIX KORVELLA_NO_SYSTEM_AUDIO; do
  grep -q "^  $v=" <<<"$out" || fail "--help does not name $v"
done

out=$(KORVELLA_INPUT_FILE= run "$korvella" --list-inputs) || fail "--list-inputs exits with $?"
grep -q '^no input device' <<<"$out" || fail "--list-inputs without devices: $out"
out=$(KORVELLA_INPUT_FILE="$scratch/fehlt.wav" run "$korvella" --list-inputs) || fail "--list-inputs exits with $?"
[ "$out" = "0 (used by Start) missing: KORVELLA_INPUT_FILE names no file: $scratch/fehlt.wav" ] ||
  fail "--list-inputs with a missing file: $out"

# Status, first line of the error output, number of its lines.
expect() {
  local want_status="$1" want_line="$2" want_lines="$3"
  shift 3
  local status=0
  run "$@" >/dev/null 2>"$scratch/err" || status=$?
  [ "$status" -eq "$want_status" ] || fail "$* exits with $status, not $want_status: $(cat "$scratch/err")"
  [ "$(head -1 "$scratch/err")" = "$want_line" ] || fail "$* says: $(cat "$scratch/err")"
  [ "$(wc -l <"$scratch/err")" -eq "$want_lines" ] || fail "$* says more than $want_lines line(s): $(cat "$scratch/err")"
}
usage_lines=3  # the reason and the two lines of the usage
expect 2 'korvella: unknown argument "--bogus"' $usage_lines "$korvella" --bogus
expect 2 'korvella: --effect needs a FILE' $usage_lines "$korvella" --start --effect
expect 2 'korvella: --quit-after takes seconds above 0 and up to 86400, not "0"' $usage_lines "$korvella" --quit-after 0
expect 2 'korvella: --list-inputs takes no other argument' $usage_lines "$korvella" --list-inputs --start
expect 2 'korvella: --screenshot needs --quit-after' $usage_lines "$korvella" --start --screenshot "$scratch/s.png"

needs='--help and --list-inputs do not'
expect 1 "korvella: needs a display (DISPLAY and WAYLAND_DISPLAY are not set); $needs" 1 "$korvella"
expect 1 "korvella: needs a display (DISPLAY and WAYLAND_DISPLAY are not set); $needs" 1 \
  "$korvella" --start --quit-after 1 --screenshot "$scratch/s.png"
# A display that is named but cannot be reached: Qt's reason in the same one line.
status=0
run env DISPLAY=:7391 "$korvella" >/dev/null 2>"$scratch/err" || status=$?
[ "$status" -eq 1 ] || fail "an unreachable display exits with $status: $(cat "$scratch/err")"
[ "$(wc -l <"$scratch/err")" -eq 1 ] && grep -q "^korvella: needs a display (.\+); $needs\$" "$scratch/err" ||
  fail "an unreachable display says: $(cat "$scratch/err")"
echo "ok"
