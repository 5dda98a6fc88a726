#!/usr/bin/env bash
# Start-up and memory of vocalis-player with the 100,000-song benchmark tree, against its
# peers in the same run, round by round (ABAB) on a 1920x1080 Xvfb screen:
#  - start-up: the player's own log gives the first intro picture painted (ms after the
#    process started) and the scan inside the player while the intro plays; the peer is
#    vocalis-catalogue scanning the same folders alone; the phone port is polled from launch;
#  - memory: resident size (VmRSS every 0.2 s while the 60 s 1080p file plays, and VmHWM at
#    its end) of the player with the catalogue loaded, against VLC's own player (cvlc, X11
#    output, no sound) on the same file.
#
# usage: bench/player_start_memory_bench.sh [BUILDDIR] [ROUNDS]
# Needs bench/run_catalogue_bench.sh's tree and bench/player_cpu_bench.sh's video (made once).
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
bin="$(realpath -m "${1:-${VOCALIS_BUILD_DIR:-$here/build}}")/bin"
rounds="${2:-3}"
out="$here/bench/out"
tree="$out/tree/Karaoke"
songs="$out/player-songs"
video="$songs/Bench - Vocalis.mp4"
[ -d "$tree" ] && [ -f "$video" ] || { echo "run bench/run_catalogue_bench.sh and bench/player_cpu_bench.sh once first" >&2; exit 1; }

. "$here/bench/xvfb.sh"

as_user=()
if [ "$(id -u)" -eq 0 ]; then
  mkdir -p "$work/vlc-home" && chmod 777 "$work" "$work/vlc-home"
  as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
fi

kib() { awk -v k="$2" '$1 == k":" {print $2}' "/proc/$1/status" 2>/dev/null || true; }
# Samples VmRSS of PID every 0.2 s while it runs and SECONDS have not passed; prints
# "median_rss_kib max_rss_kib hwm_kib" (HWM as last read).
sample_memory() {
  local pid=$1 seconds=$2 rss hwm=0 list=()
  local end=$(( $(date +%s) + seconds ))
  while kill -0 "$pid" 2>/dev/null && [ "$(date +%s)" -lt "$end" ]; do
    rss=$(kib "$pid" VmRSS); [ -n "$rss" ] && list+=("$rss")
    local h; h=$(kib "$pid" VmHWM); [ -n "$h" ] && hwm=$h
    sleep 0.2
  done
  printf '%s\n' "${list[@]}" | sort -n | awk -v h="$hwm" '{a[NR]=$1} END {printf "%d %d %d", a[int((NR+1)/2)], a[NR], h}'
}

tool_round() {
  "$bin/vocalis-catalogue" --data-dir "$work/tool-data" --songs "$tree" --songs "$songs" count 2>"$work/tool.log" >/dev/null
  grep -o 'in [0-9]* ms' "$work/tool.log" | awk '{print $2}'
}

vlc_round() {
  env DISPLAY="$display" HOME="$work/vlc-home" "${as_user[@]}" \
    cvlc --play-and-exit --fullscreen --aout=adummy --no-video-title-show --vout=xcb_x11 "$video" >/dev/null 2>&1 &
  local pid=$!
  sleep 2  # past the opening, as for the player
  sample_memory "$pid" 70
  wait "$pid" 2>/dev/null || true
}

player_round() {
  local port mport tport dport
  free() { python3 -c 'import socket,sys; s=socket.socket(socket.AF_INET, getattr(socket, sys.argv[1])); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])' "$1"; }
  port=$(free SOCK_STREAM); mport=$(free SOCK_STREAM); tport=$(free SOCK_STREAM); dport=$(free SOCK_DGRAM)
  rm -rf "$work/data" "$work/config"
  local start; start=$(date +%s%N)
  DISPLAY="$display" HOME="$work" XDG_CONFIG_HOME="$work/config" \
    "$bin/vocalis-player" --no-sound --data-dir "$work/data" --songs "$tree" --songs "$songs" \
    --remote-port "$port" --media-port "$mport" --thumbnail-port "$tport" --discovery-port "$dport" \
    >"$work/player.log" 2>&1 &
  local pid=$!
  for _ in $(seq 600); do "$bin/vocalis-remote" --port "$port" md5 >/dev/null 2>&1 && break; sleep 0.05; done
  local opened=$(( ($(date +%s%N) - start) / 1000000 ))
  local id
  # awk stops at the first match: the tool's later writes then meet a closed pipe.
  id=$("$bin/vocalis-catalogue" --data-dir "$work/tool-data" --songs "$tree" --songs "$songs" search bench 2>/dev/null | awk -F'\t' '$2 == "Bench" {print $1; exit}' || true)
  "$bin/vocalis-remote" --port "$port" add "$id" >/dev/null
  sleep 2
  local memory; memory=$(sample_memory "$pid" 60)
  kill -TERM "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  local picture scan
  picture=$(grep -o 'First video picture painted -\?[0-9]* ms' "$work/player.log" | awk '{print $5}' | head -1)
  scan=$(grep -o 'Catalogue: [0-9]* songs.* in [0-9]* ms' "$work/player.log" | awk '{print $(NF-1)}' | head -1)
  echo "${picture:-?} ${scan:-?} $opened $memory"
}

echo "load at start: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "round | tool scan ms | player: first picture ms, scan ms, phone port open ms, RSS median/max/HWM KiB | vlc: RSS median/max/HWM KiB"
for round in $(seq "$rounds"); do
  t=$(tool_round)
  p=$(player_round)
  v=$(vlc_round)
  echo "$round | $t | $p | $v | load $(cut -d' ' -f1 /proc/loadavg)"
done
