#!/usr/bin/env bash
# The Debian package as a user gets it: made by scripts/package.sh from this build, no
# lintian errors, and holding the program, its tools, its modules, clips, desktop entry, icons and
# systemd user unit, with the libraries and plugins it needs among its dependencies. Usage: package_check.sh BUILDDIR SOURCEDIR
set -euo pipefail
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

"$2/scripts/package.sh" "$1" "$work/out" >"$work/package.log" 2>&1 || { cat "$work/package.log"; fail "package.sh"; }
debs=("$work"/out/vocalis-player_*_amd64.deb)
deb="${debs[0]}"
[ -f "$deb" ] || fail "no package in $work/out"
lintian --fail-on error --tag-display-limit 0 "$deb" || fail "lintian reports errors"

dpkg-deb -x "$deb" "$work/root"
usr="$work/root/usr" share=share/vocalis-player icons=share/icons/hicolor
for file in bin/vocalis-player bin/vocalis-remote bin/vocalis-catalogue bin/vocalis-history bin/vocalis-melody \
    lib/vocalis/vlc/libvocalis_display_plugin.so lib/vocalis/libvocalis_analysis.so $share/intro.mp4 $share/idle.mp4 \
    $share/banner.png $share/score_bg.png $share/vcplayer_score.mp3 share/applications/vocalis-player.desktop \
    $icons/scalable/apps/vocalis-player.svg $icons/256x256/apps/vocalis-player.png \
    share/doc/vocalis-player/copyright share/doc/vocalis-player/changelog.gz; do
  [ -f "$usr/$file" ] || fail "missing /usr/$file"
done
copyright="$usr/share/doc/vocalis-player/copyright"
grep -qx "License: GPL-3+" "$copyright" && ! grep -qi proprietary "$copyright" || fail "copyright is not GPL-3+"
cmp -s "$2/LICENSE" /usr/share/common-licenses/GPL-3 || fail "LICENSE is not the GPL's text"
desktop-file-validate "$usr/share/applications/vocalis-player.desktop" || fail "desktop entry"
unit="$usr/lib/systemd/user/vocalis-player.service"
[ -f "$unit" ] || fail "missing /usr/lib/systemd/user/vocalis-player.service"
grep -qx "ExecStart=/usr/bin/vocalis-player" "$unit" && grep -qx "Restart=on-failure" "$unit" ||
  fail "the user unit does not start /usr/bin/vocalis-player again on failure"
size="$(ffprobe -v error -show_entries stream=width,height -of csv=p=0 "$usr/$icons/256x256/apps/vocalis-player.png")"
[ "$size" = "256,256" ] || fail "the 256 px icon is $size"

depends="$(dpkg-deb -f "$deb" Depends)"
for package in libvlc5 libqt6widgets6 libqt6dbus6 libpulse0 libsqlite3-0 libaubio5 libavformat59 vlc-plugin-base \
    qt6-qpa-plugins ffmpeg; do
  grep -Eq "(^|, )$package( |,|$)" <<<"$depends" || fail "Depends lacks $package: $depends"
done
echo "ok: $(basename "$deb"): $depends"
