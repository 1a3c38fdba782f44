#!/usr/bin/env bash
# cmake --install into a scratch root (DESTDIR): the files in their places, no path into the
# build folder, and the installed program starts (--list-inputs) and finds its demo track.
set -euo pipefail
build="$1"
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
source "$(dirname "$0")/installed_starts.sh"

DESTDIR="$root" cmake --install "$build" --prefix /usr >"$root.log" 2>&1 || { cat "$root.log"; fail "cmake --install"; }
rm -f "$root.log"
u="$root/usr"
for f in bin/korvella share/applications/korvella.desktop share/icons/hicolor/scalable/apps/korvella.svg \
         share/korvella/assets/Demo.bpl share/korvella/assets/Demo.flac share/korvella/assets/Dimmer/25.swf \
         share/korvella/assets/Effekts/Puls.swf; do
  [ -f "$u/$f" ] || fail "missing /usr/$f"
done
lib=$(dirname "$(find "$u/lib" -name libwavorix.so | head -1)")
[ -n "$lib" ] && [ -f "$lib/libkorvella_gui.so" ] || fail "the libraries are not in one folder under /usr/lib"
grep -q '^Exec=korvella$' "$u/share/applications/korvella.desktop" || fail "desktop entry without Exec=korvella"
grep -q '^Icon=korvella$' "$u/share/applications/korvella.desktop" || fail "desktop entry without Icon=korvella"
for f in "$u/bin/korvella" "$lib"/*.so; do
  if readelf -d "$f" | grep -E 'R(UN)?PATH' | grep -qF "$build"; then fail "$f still looks into the build folder"; fi
done

expect_installed_starts "$u" "the installed program"
echo "ok"
