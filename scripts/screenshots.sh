#!/usr/bin/env bash
# Takes screenshots of the player under Xvfb: the intro, a song with its title banner, the
# up-next panel, a phone message with a picture, the volume panel, the score screen, the
# broken-song cover, the operator's windows, the browser remote's QR code over the idle clip, and a
# sung song with the pitch band and its measured score. The player plays into a private
# PulseAudio's null sink and listens to that sink's monitor as its microphone, so the song's own
# voice is the singing it scores. Fails when a screenshot is missing or blank, or the sung song's
# score was not measured.
#
# usage: scripts/screenshots.sh [OUTDIR] [BUILDDIR]   (defaults: docs/screenshots, build)
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
out="$(realpath -m "${1:-$here/docs/screenshots}")"
bin="$(realpath -m "${2:-$here/build}")/bin"
mkdir -p "$out"
work="$(mktemp -d)"
display=":$(( 90 + RANDOM % 500 ))"
pids=()
cleanup() {
  status=$?
  if [ $status -ne 0 ] && [ -f "$work/player.log" ]; then echo "--- player log"; tail -n 40 "$work/player.log"; fi
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

free_port() { python3 -c 'import socket,sys; s=socket.socket(socket.AF_INET, getattr(socket, sys.argv[1])); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])' "$1"; }
remote_port=$(free_port SOCK_STREAM); media_port=$(free_port SOCK_STREAM)
thumb_port=$(free_port SOCK_STREAM); discovery_port=$(free_port SOCK_DGRAM); web_port=$(free_port SOCK_STREAM)
remote() { "$bin/vocalis-remote" --port "$remote_port" "$@" >/dev/null; }
shot() { ffmpeg -v error -y -f x11grab -video_size 1920x1080 -i "$display" -frames:v 1 "$out/$1.png"; echo "screenshot: $1"; }

# Songs: a title card and a tone on both tracks (no voice to score), long enough to reach the
# up-next and score moments.
song() {  # folder title singer seconds colour
  local file="$work/songs/$1/$2 - $3.mp4"
  mkdir -p "$work/songs/$1"
  printf '%s' "$2" >"$work/title.txt"
  ffmpeg -v error -y -f lavfi -i "color=c=$5:s=1920x1080:r=10:d=$4" \
    -f lavfi -i "sine=f=330:d=$4" -f lavfi -i "sine=f=330:d=$4" \
    -vf "drawtext=fontfile=/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf:textfile=$work/title.txt:fontsize=110:fontcolor=white@0.85:x=(w-tw)/2:y=h*0.72" \
    -map 0 -map 1 -map 2 -c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac "$file"
}
song NhacTre "Chiều Phố Cũ" "Thanh Hà" 34 0x264653
song NhacTre "Mưa Trên Sông Hàn" "Quang Vũ" 40 0x2a9d8f
song NhacMoi "Giấc Mơ Mùa Hạ" "Ngọc Lan" 40 0xe76f51
# The sung song: a voice singing a known melody on the second track, over a title card.
"$bin/sung_song_tool" "$work/sung.mp4" 24 4
printf '%s' "Xuân Về" >"$work/title.txt"
ffmpeg -v error -y -f lavfi -i "color=c=0x6d597a:s=1920x1080:r=10:d=24" -i "$work/sung.mp4" \
  -vf "drawtext=fontfile=/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf:textfile=$work/title.txt:fontsize=110:fontcolor=white@0.85:x=(w-tw)/2:y=h*0.3" \
  -map 0:v -map 1:a:0 -map 1:a:1 -c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a copy \
  "$work/songs/NhacMoi/Xuân Về - Mỹ Linh.mp4"
printf 'not a video at all' >"$work/songs/Bài Hỏng - Không Tên.mp4"
ffmpeg -v error -y -f lavfi -i "color=c=0xf4a261:s=400x400,drawtext=fontfile=/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf:text='♥':fontsize=260:fontcolor=white:x=(w-tw)/2:y=(h-th)/2" -frames:v 1 "$work/picture.png"

Xvfb "$display" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 50); do xdpyinfo -display "$display" >/dev/null 2>&1 && break; sleep 0.1; done

# The sound server: one null sink, whose monitor is the microphone.
mkdir -p "$work/pulse"
env -u PULSE_SERVER HOME="$work/pulse" XDG_RUNTIME_DIR="$work/pulse" PULSE_RUNTIME_PATH="$work/pulse/run" \
  DBUS_SESSION_BUS_ADDRESS=disabled: pulseaudio --daemonize=no -n --use-pid-file=no --exit-idle-time=-1 \
  --disallow-exit --realtime=no --high-priority=no --log-target=stderr --log-level=error \
  "--load=module-null-sink sink_name=vocalis_screenshots" \
  "--load=module-native-protocol-unix auth-anonymous=1 socket=$work/pulse/native" >"$work/pulse.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -S "$work/pulse/native" ] && break; sleep 0.1; done

# Scoring and the pitch band on, as an operator would have set them.
mkdir -p "$work/config/Vocalis"
printf '[General]\nKEY_SCORING=true\nKEY_PITCH_BAND=true\n' >"$work/config/Vocalis/Vocalis Player.conf"

DISPLAY="$display" HOME="$work" XDG_CONFIG_HOME="$work/config" PULSE_SERVER="unix:$work/pulse/native" \
  "$bin/vocalis-player" --microphone vocalis_screenshots.monitor --data-dir "$work/data" --songs "$work/songs" --media-port "$media_port" --thumbnail-port "$thumb_port" \
  --remote-port "$remote_port" --discovery-port "$discovery_port" --web-port "$web_port" >"$work/player.log" 2>&1 &
player=$!
pids+=($player)

sleep 3; shot 1-intro
for _ in $(seq 120); do "$bin/vocalis-remote" --port "$remote_port" md5 >/dev/null 2>&1 && break; sleep 0.5; done
# The idle clip, past the 6 s intro, with the browser remote's code while nothing is queued.
sleep 4; shot 12-qr-code
# Ids follow the folded titles: bai hong, chieu pho cu, giac mo mua ha, mua tren song han, xuan ve.
remote add 1; sleep 2; shot 2-title-banner
remote add 3; sleep 1; shot 3-up-next
remote message "Chúc mừng sinh nhật Lan!"; remote picture "$work/picture.png"; sleep 1; shot 4-message-picture
remote volume-up; sleep 0.5; shot 5-volume
sleep 31.5; shot 6-score         # the first song has ended: the score screen counts up
remote add-first 0
# After the score the next song starts; skip it once its start lock has passed.
for _ in $(seq 60); do [ "$("$bin/vocalis-remote" --port "$remote_port" current 2>/dev/null)" = 3 ] && break; sleep 0.5; done
sleep 2.5; remote next; sleep 1.5; shot 7-broken-song

# The operator's windows over the next song, opened with their shortcuts.
sleep 5.5
key() { DISPLAY="$display" xdotool key --clearmodifiers "$@"; }
key ctrl+f; sleep 1; DISPLAY="$display" xdotool type --delay 80 "mua"; sleep 1; key Down; sleep 0.5; shot 8-song-selection
key Escape; sleep 0.5; key ctrl+e; sleep 1; shot 9-equalizer
key Escape; sleep 0.5; key ctrl+comma; sleep 1; shot 10-settings
key Escape; sleep 0.5; key ctrl+t; sleep 1.5; shot 11-thumbnails
key Escape

# The sung song, queued behind another so that its melody is made before its turn; that one is
# skipped once it is. Then its pitch band half-way through, and the score screen once its
# count is done.
melodies() { find "$work/data" -path '*melodies*' -type f | wc -l; }
made=$(melodies)
remote add 2; sleep 1; remote add 4
for _ in $(seq 60); do [ "$(melodies)" -ge $((made + 2)) ] && break; sleep 0.5; done
sleep 2; remote next
for _ in $(seq 60); do [ "$("$bin/vocalis-remote" --port "$remote_port" current 2>/dev/null)" = 4 ] && break; sleep 0.5; done
sleep 11.5; shot 13-pitch-band  # past the code each start shows for 10 s
state() { python3 -c 'import sys,urllib.request; print(urllib.request.urlopen(sys.argv[1], timeout=2).read().decode())' "http://127.0.0.1:$web_port/api/state" 2>/dev/null || true; }
for _ in $(seq 80); do state | grep -q '"score":{' && break; sleep 0.25; done
sleep 6.3; shot 14-measured-score
kill "$player" 2>/dev/null || true

status=0
grep -q 'Score: [0-9]* (measured)' "$work/player.log" || { echo "the sung song's score was not measured"; status=1; }
for name in 1-intro 2-title-banner 3-up-next 4-message-picture 5-volume 6-score 7-broken-song \
  8-song-selection 9-equalizer 10-settings 11-thumbnails 12-qr-code 13-pitch-band 14-measured-score; do
  size=$(stat -c %s "$out/$name.png" 2>/dev/null || echo 0)
  if [ "$size" -lt 10000 ]; then echo "screenshot $name is missing or blank ($size bytes)"; status=1; fi
done
exit $status
