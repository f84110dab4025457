#!/usr/bin/env bash
# Makes the Debian package from the build and checks what it holds: the program in /usr/bin, the menu entry (valid
# by desktop-file-validate) and the icon, the dependencies and php-cli as a recommendation.
set -euo pipefail
build="$1"
out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$out" >/dev/null
deb=$(ls "$out"/clipnest_*.deb)
fail=0
check() { if ! grep -q -- "$2" <<<"$1"; then echo "missing: $2"; fail=1; fi; }
contents=$(dpkg-deb -c "$deb")
check "$contents" " ./usr/bin/clipnest$"
check "$contents" " ./usr/bin/clipnest-window$"
check "$contents" " ./usr/share/applications/clipnest.desktop$"
check "$contents" " ./usr/share/icons/hicolor/scalable/apps/clipnest.svg$"
info=$(dpkg-deb -I "$deb")
check "$info" "^ Package: clipnest$"
check "$info" "^ Recommends: php-cli, openssh-client, ffmpeg$"
check "$info" "^ Depends: .*qt6-qpa-plugins"
check "$info" "^ Depends: .*libqt6widgets6"
dpkg-deb -x "$deb" "$out/root"
desktop-file-validate "$out/root/usr/share/applications/clipnest.desktop" || fail=1
check "$(cat "$out/root/usr/share/applications/clipnest.desktop")" "^Exec=clipnest %f$"
check "$(head -c 400 "$out/root/usr/share/icons/hicolor/scalable/apps/clipnest.svg")" "<svg"
version=$("$out/root/usr/bin/clipnest" --version)
check "$version" "^clipnest [0-9]"
if [ "$fail" -eq 0 ]; then
  echo "1 passed, 0 failed"
fi
exit "$fail"
