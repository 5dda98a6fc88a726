#!/usr/bin/env bash
# CPU time to play 60-second files full screen on a 1920x1080 Xvfb screen: vocalis-player
# against VLC's own player (cvlc, X11 output) in the same run, round by round, both without
# sound. Also reports the pictures each one dropped. The files: 1920x1080 30 fps H.264 (mp4),
# and what karaoke libraries are made of, 720x480 MPEG-2 (DVD .vob) and 1280x720 H.264 with
# two audio tracks (mkv).
#
# usage: bench/player_cpu_bench.sh [BUILDDIR] [ROUNDS] [CASES]   (CASES: "mp4 vob mkv", the default)
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
bin="$(realpath -m "${1:-$here/build}")/bin"
rounds="${2:-3}"
cases="${3:-mp4 vob mkv}"
out="$here/bench/out"
mkdir -p "$out/player-songs" "$out/player-songs-vob" "$out/player-songs-mkv"
for package in vlc-bin vlc-plugin-video-output xvfb x11-utils; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
    { echo "installing $package"; sudo= ; [ "$(id -u)" -ne 0 ] && sudo=sudo; $sudo apt-get install -y -qq --no-install-recommends "$package" >/dev/null; }
done

# Each case in a folder of its own, so that its song is song 0 of the player's catalogue.
folder_of() { case "$1" in mp4) echo "$out/player-songs" ;; *) echo "$out/player-songs-$1" ;; esac; }
video_of() { echo "$(folder_of "$1")/Bench - Vocalis.$1"; }
# Without a window manager nobody grants VLC's full-screen request, so its window keeps the
# picture's size; a zoom makes it scale the picture to the screen's height as the player does.
zoom_of() { case "$1" in vob) echo 2.25 ;; mkv) echo 1.5 ;; *) echo 1 ;; esac; }
for case in $cases; do
  video="$(video_of "$case")"
  [ -f "$video" ] && continue
  echo "making the 60 s $case test video"
  case "$case" in
    mp4) ffmpeg -v error -y -f lavfi -i "testsrc2=s=1920x1080:r=30:d=60" -f lavfi -i "sine=f=440:d=60" \
           -c:v libx264 -preset veryfast -crf 20 -pix_fmt yuv420p -c:a aac "$video" ;;
    vob) ffmpeg -v error -y -f lavfi -i "testsrc2=s=720x480:r=30000/1001:d=60" -f lavfi -i "sine=f=440:d=60" \
           -c:v mpeg2video -b:v 6M -maxrate 9M -bufsize 1835k -g 15 -pix_fmt yuv420p -c:a ac3 -b:a 192k -ar 48000 \
           -f vob "$video" ;;
    mkv) ffmpeg -v error -y -f lavfi -i "testsrc2=s=1280x720:r=30:d=60" -f lavfi -i "sine=f=440:d=60" \
           -f lavfi -i "sine=f=660:d=60" -map 0:v -map 1:a -map 2:a \
           -c:v libx264 -preset veryfast -crf 20 -pix_fmt yuv420p -c:a aac "$video" ;;
  esac
done

. "$here/bench/xvfb.sh"

cpu_of() { awk '{print $14 + $15}' "/proc/$1/stat"; }  # user + system, in clock ticks
ticks=$(getconf CLK_TCK)

# VLC refuses to run as root: run it as nobody then, with a home of its own.
as_user=()
if [ "$(id -u)" -eq 0 ]; then
  mkdir -p "$work/vlc-home" && chmod 777 "$work" "$work/vlc-home"
  as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
fi

vlc_round() {
  local video; video="$(video_of "$1")"
  /usr/bin/time -f "%U %S" -o "$work/vlc.time" env DISPLAY="$display" HOME="$work/vlc-home" "${as_user[@]}" \
    cvlc --play-and-exit --fullscreen --zoom="$(zoom_of "$1")" --aout=adummy --no-video-title-show --vout=xcb_x11 -v "$video" \
    >"$work/vlc.log" 2>&1
  local cpu dropped
  cpu=$(awk '{print $1 + $2}' "$work/vlc.time")
  dropped=$(grep -c 'picture is too late\|picture might be displayed late\|dropping frame' "$work/vlc.log" || true)
  echo "vlc $cpu $dropped"
}

player_round() {
  local songs; songs="$(folder_of "$1")"
  local port mport tport dport
  free() { python3 -c 'import socket,sys; s=socket.socket(socket.AF_INET, getattr(socket, sys.argv[1])); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])' "$1"; }
  port=$(free SOCK_STREAM); mport=$(free SOCK_STREAM); tport=$(free SOCK_STREAM); dport=$(free SOCK_DGRAM)
  DISPLAY="$display" HOME="$work" XDG_CONFIG_HOME="$work/config" VOCALIS_PLAYBACK_STATS=1 \
    "$bin/vocalis-player" --no-sound --data-dir "$work/data" --songs "$songs" \
    --remote-port "$port" --media-port "$mport" --thumbnail-port "$tport" --discovery-port "$dport" \
    >"$work/player.log" 2>&1 &
  local pid=$!
  for _ in $(seq 240); do "$bin/vocalis-remote" --port "$port" md5 >/dev/null 2>&1 && break; sleep 0.25; done
  sleep 1
  "$bin/vocalis-remote" --port "$port" watch --seconds 75 >"$work/watch.log" 2>&1 &
  local watcher=$!
  sleep 0.5
  local before after
  before=$(cpu_of "$pid")
  "$bin/vocalis-remote" --port "$port" add 0 >/dev/null
  # The song has ended when, after it started, the player falls back to the idle clip (the
  # idle clip also announces itself each time it loops, before the song is queued).
  for _ in $(seq 300); do
    awk -F'\t' '$1 == "current" && $2 == "0" { started = 1 } started && $1 == "current" && $2 == "-1" { found = 1 } END { exit !found }' \
      "$work/watch.log" && break
    sleep 0.25
  done
  after=$(cpu_of "$pid")
  kill "$watcher" 2>/dev/null || true
  if ! kill -TERM "$pid" 2>/dev/null; then
    echo "the player had stopped early; its log:" >&2
    cat "$work/player.log" >&2
  fi
  wait "$pid" 2>/dev/null || true
  local lost
  lost=$(grep -o 'lost [0-9]*' "$work/player.log" | head -1 | awk '{print $2}')
  echo "vocalis $(awk -v t="$ticks" -v a="$after" -v b="$before" 'BEGIN{printf "%.2f", (a-b)/t}') ${lost:-?}"
}

echo "load at start: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "case round tool cpu_seconds dropped_pictures load"
for round in $(seq "$rounds"); do
  for case in $cases; do
    echo "$case $round $(vlc_round "$case") $(cut -d' ' -f1 /proc/loadavg)"
    echo "$case $round $(player_round "$case") $(cut -d' ' -f1 /proc/loadavg)"
  done
done
