#!/usr/bin/env bash
# The Debian package as a user gets it: made by scripts/package.sh from this build, no
# lintian errors, and holding the program, its tools, clips, desktop entry and icons, with the
# libraries and plugins it needs among its dependencies. Usage: package_check.sh BUILDDIR SOURCEDIR
set -euo pipefail
build="$1"
source="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

"$source/scripts/package.sh" "$build" "$work/out" >"$work/package.log" 2>&1 || { cat "$work/package.log"; fail "package.sh"; }
debs=("$work"/out/vocalis-player_*_amd64.deb)
deb="${debs[0]}"
[ -f "$deb" ] || fail "no package in $work/out"

lintian --fail-on error --tag-display-limit 0 "$deb" || fail "lintian reports errors"

dpkg-deb -x "$deb" "$work/root"
for file in bin/vocalis-player bin/vocalis-remote bin/vocalis-catalogue \
            share/vocalis-player/intro.mp4 share/vocalis-player/idle.mp4 share/vocalis-player/banner.png \
            share/vocalis-player/score_bg.png share/vocalis-player/vcplayer_score.mp3 \
            share/applications/vocalis-player.desktop \
            share/icons/hicolor/scalable/apps/vocalis-player.svg \
            share/icons/hicolor/256x256/apps/vocalis-player.png \
            share/doc/vocalis-player/copyright share/doc/vocalis-player/changelog.gz; do
  [ -f "$work/root/usr/$file" ] || fail "missing /usr/$file"
done
desktop-file-validate "$work/root/usr/share/applications/vocalis-player.desktop" || fail "desktop entry"
size="$(ffprobe -v error -show_entries stream=width,height -of csv=p=0 \
        "$work/root/usr/share/icons/hicolor/256x256/apps/vocalis-player.png")"
[ "$size" = "256,256" ] || fail "the 256 px icon is $size"

depends="$(dpkg-deb -f "$deb" Depends)"
for package in libvlc5 libqt6widgets6 libqt6dbus6 libpulse0 vlc-plugin-base qt6-qpa-plugins ffmpeg; do
  grep -Eq "(^|, )$package( |,|$)" <<<"$depends" || fail "Depends lacks $package: $depends"
done
echo "ok: $(basename "$deb"): $depends"
