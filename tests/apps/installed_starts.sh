# Sourced by the install and package tests: fail MESSAGE, and expect_installed_starts USR WHAT,
# which runs USR/bin/korvella --list-inputs without a display, in a scratch home, with the
# installed demo track as input 0, and fails naming WHAT unless it lists that track.
fail() { echo "FAIL: $*" >&2; exit 1; }

expect_installed_starts() {
  local usr="$1" what="$2" home list rc=0
  home=$(mktemp -d)
  list=$(env -u DISPLAY -u LD_LIBRARY_PATH HOME="$home" KORVELLA_NO_SYSTEM_AUDIO=1 \
         KORVELLA_INPUT_FILE="$usr/share/korvella/assets/Demo.flac" "$usr/bin/korvella" --list-inputs) || rc=$?
  rm -rf "$home"
  [ "$rc" -eq 0 ] || fail "$what: korvella --list-inputs exits with $rc"
  grep -q '^0 (used by Start) File: Demo.flac' <<<"$list" || fail "$what: korvella lists: $list"
}
