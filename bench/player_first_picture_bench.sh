#!/usr/bin/env bash
# The intro's first picture after launch, for one or more builds of vocalis-player, round by
# round (ABAB) on a private 1920x1080 Xvfb screen with a private session bus (for the media
# keys): an empty songs folder, a fresh data folder each run, and `--no-sound`. Each run ends
# once the player's log says "First video picture painted N ms after launch".
#
# A build keeps its own home folder across rounds, as a desktop user's does (GStreamer's
# plugin registry, font caches); with COLD=1 each run gets a fresh one, as a first start or
# one after a package update does.
#
# usage: bench/player_first_picture_bench.sh ROUNDS PLAYER [PLAYER...]
set -uo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
rounds="${1:?rounds}"
shift
[ $# -gt 0 ] || { echo "usage: $0 ROUNDS PLAYER [PLAYER...]" >&2; exit 2; }

. "$here/bench/xvfb.sh"
free() { python3 -c 'import socket,sys; s=socket.socket(socket.AF_INET, getattr(socket, sys.argv[1])); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])' "$1"; }
mkdir -p "$work/songs"
read -r DBUS_SESSION_BUS_ADDRESS bus < <(dbus-daemon --session --fork --print-address=1 --print-pid=1 | tr '\n' ' ')
export DBUS_SESSION_BUS_ADDRESS
trap 'kill $bus 2>/dev/null; kill $xvfb 2>/dev/null; rm -rf "$work"' EXIT

echo "load at start: $(cut -d' ' -f1-3 /proc/loadavg)"
for round in $(seq "$rounds"); do
  line="$round |"
  for index in $(seq $#); do
    player="${!index}"
    home="$work/home-$index"
    [ -n "${COLD:-}" ] && rm -rf "$home"
    mkdir -p "$home"
    rm -rf "$work/data"
    ports=(--remote-port "$(free SOCK_STREAM)" --media-port "$(free SOCK_STREAM)"
           --thumbnail-port "$(free SOCK_STREAM)" --discovery-port "$(free SOCK_DGRAM)"
           --web-port "$(free SOCK_STREAM)")
    DISPLAY="$display" HOME="$home" XDG_CONFIG_HOME="$home/config" \
      "$player" --no-sound --data-dir "$work/data" --songs "$work/songs" "${ports[@]}" \
      >"$work/player.log" 2>&1 &
    pid=$!
    for _ in $(seq 300); do grep -q 'First video picture painted' "$work/player.log" && break; sleep 0.05; done
    kill -TERM "$pid"
    wait "$pid"
    ms=$(grep -o 'First video picture painted -\?[0-9]* ms' "$work/player.log" | awk '{print $5}' | head -1)
    line="$line ${ms:-?} ms |"
  done
  echo "$line load $(cut -d' ' -f1 /proc/loadavg)"
done
