#!/usr/bin/env bash
# CPack's .deb: its dependencies declared (the libraries found by dpkg-shlibdeps and Qt's German
# texts), the files in their places, and the program unpacked from it starts (--list-inputs).
set -euo pipefail
build="$1"
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
source "$(dirname "$0")/installed_starts.sh"

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$out" >"$out/cpack.log" 2>&1 || { cat "$out/cpack.log"; fail "cpack"; }
deb=$(find "$out" -maxdepth 1 -name 'korvella_*.deb' | head -1)
[ -n "$deb" ] || fail "no korvella_*.deb made"
depends=$(dpkg-deb -f "$deb" Depends)
for d in libqt6widgets6 libportaudio2 libsndfile1 libsamplerate0 libjpeg62-turbo qt6-translations-l10n fonts-dejavu-core; do
  grep -q "$d" <<<"$depends" || fail "Depends lacks $d: $depends"
done
[ "$(dpkg-deb -f "$deb" Package)" = korvella ] || fail "package name"
contents=$(dpkg-deb -c "$deb")
for f in ./usr/bin/korvella ./usr/lib/korvella/libwavorix.so ./usr/share/korvella/assets/Demo.bpl \
         ./usr/share/applications/korvella.desktop ./usr/share/icons/hicolor/scalable/apps/korvella.svg; do
  grep -q " $f\$" <<<"$contents" || fail "the package lacks $f"
done
if grep -qE ' \./(home|root|tmp|work)/' <<<"$contents"; then fail "the package holds files outside /usr"; fi

dpkg-deb -x "$deb" "$out/root"
expect_installed_starts "$out/root/usr" "the program from the package"
echo "ok"
