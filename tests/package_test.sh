#!/usr/bin/env bash
# Makes the Debian package from the build and checks what it holds: the program in /usr/bin, the menu entry (valid
# by desktop-file-validate) and the icon, the dependencies and php-cli as a recommendation; the program loads no
# network library, and finds the FTP module (which does) where the package puts it.
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
check "$contents" " ./usr/lib/.*clipnest/clipnest-ftp.so$"
check "$contents" " ./usr/share/applications/clipnest.desktop$"
check "$contents" " ./usr/share/icons/hicolor/scalable/apps/clipnest.svg$"
info=$(dpkg-deb -I "$deb")
check "$info" "^ Package: clipnest$"
check "$info" "^ Recommends: php-cli, openssh-client, ffmpeg$"
check "$info" "^ Depends: .*qt6-qpa-plugins"
check "$info" "^ Depends: .*libqt6widgets6"
check "$info" "^ Depends: .*libcurl"
check "$info" "^ Depends: .*libnettle8"
dpkg-deb -x "$deb" "$out/root"
desktop-file-validate "$out/root/usr/share/applications/clipnest.desktop" || fail=1
check "$(cat "$out/root/usr/share/applications/clipnest.desktop")" "^Exec=clipnest %f$"
check "$(head -c 400 "$out/root/usr/share/icons/hicolor/scalable/apps/clipnest.svg")" "<svg"
version=$("$out/root/usr/bin/clipnest" --version)
check "$version" "^clipnest [0-9]"
libraries=$(ldd "$out/root/usr/bin/clipnest")
# The C++ library is linked into the program, but for a sanitizer build, whose runtime stands in for parts of it.
unwanted="libcurl libcrypto libssl libgnutls libQt"
grep -q libasan <<<"$libraries" || unwanted="$unwanted libstdc++"
for library in $unwanted; do
  if grep -q "$library" <<<"$libraries"; then echo "clipnest loads $library at start"; fail=1; fi
done
# An FTP publish from the unpacked tree: libcurl, loaded from the module, tries port 1 and says it could not connect.
mkdir "$out/channel"
"$out/root/usr/bin/clipnest" -C "$out/channel" entry a.mp4 --homepage A >/dev/null 2>&1
said=$("$out/root/usr/bin/clipnest" -C "$out/channel" publish --to ftps://someone@127.0.0.1:1/x/ 2>&1 || true)
check "$said" "could not connect to ftps://someone@127.0.0.1:1/x/"
if [ "$fail" -eq 0 ]; then
  echo "1 passed, 0 failed"
fi
exit "$fail"
