#!/usr/bin/env bash
# HTTP services against nginx, in the same run:
#  1. a 1 GiB file over loopback to `curl -o /dev/null` (nginx with sendfile on), with the
#     bench server's resident memory while it serves;
#  2. the thumbnail endpoint under wrk, 32 connections, every answer closing its connection
#     (nginx serving the same JPEG files with keep-alive off).
# Usage: bench/http_bench.sh [BUILD_DIR]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
server_bin=$build/bin/vocalis-http-bench-server
[ -x "$server_bin" ] || { echo "build $server_bin first (cmake --build $build --target vocalis-http-bench-server)"; exit 1; }
for tool in nginx curl wrk ffmpeg python3; do
  command -v "$tool" >/dev/null || [ -x "/usr/sbin/$tool" ] || { echo "missing $tool (scripts/bootstrap.sh)"; exit 1; }
done
nginx_bin=$(command -v nginx || echo /usr/sbin/nginx)

work=$(mktemp -d /tmp/vocalis-http-bench-XXXXXX)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }
rss_kib() { awk '/^VmRSS/ {print $2}' "/proc/$1/status"; }

start_nginx() {  # root port keepalive
  local root=$1 port=$2 keepalive=$3 conf=$work/nginx-$2.conf
  local user_line=""
  [ "$(id -u)" -eq 0 ] && user_line="user root;"
  cat > "$conf" <<CONF
$user_line
worker_processes 1;
daemon off;
pid $work/nginx-$port.pid;
error_log $work/nginx-$port.err;
events { worker_connections 1024; }
http {
  access_log off;
  sendfile on;
  tcp_nopush on;
  keepalive_timeout $keepalive;
  client_body_temp_path $work/tmp-$port; proxy_temp_path $work/tmp-$port; fastcgi_temp_path $work/tmp-$port;
  uwsgi_temp_path $work/tmp-$port; scgi_temp_path $work/tmp-$port;
  server { listen 127.0.0.1:$port; root $root; }
}
CONF
  "$nginx_bin" -c "$conf" -p "$work" &
  pids+=($!)
  for _ in $(seq 50); do curl -s -o /dev/null "http://127.0.0.1:$port/" && return 0; sleep 0.1; done
  curl -s -o /dev/null "http://127.0.0.1:$port/" || true
}

start_ours() {  # args... ; sets ours_pid and ours_port
  local out=$work/ours-$RANDOM.out
  "$server_bin" "$@" > "$out" &
  ours_pid=$!
  pids+=("$ours_pid")
  for _ in $(seq 100); do grep -q '^port ' "$out" 2>/dev/null && break; sleep 0.05; done
  ours_port=$(awk '/^port / {print $2}' "$out")
}

# --- 1 GiB file -------------------------------------------------------------------------
mkdir -p "$work/files"
echo "making a 1 GiB file of random bytes..."
head -c $((1024 * 1024 * 1024)) /dev/urandom > "$work/files/big.bin"
cat "$work/files/big.bin" > /dev/null  # both servers read from the page cache

nginx_port=$(free_port)
start_nginx "$work/files" "$nginx_port" 65
start_ours files "$work/files"
sleep 0.2
rss_before=$(rss_kib "$ours_pid")

download() { curl -s -o /dev/null -w '%{speed_download}\n' "$1"; }
rounds=7
nginx_speeds=(); ours_speeds=(); rss_peak=$rss_before
for round in $(seq $rounds); do
  nginx_speeds+=("$(download "http://127.0.0.1:$nginx_port/big.bin")")
  download "http://127.0.0.1:$ours_port/big.bin" > "$work/speed" &
  curl_pid=$!
  while kill -0 "$curl_pid" 2>/dev/null; do
    rss=$(rss_kib "$ours_pid"); [ "$rss" -gt "$rss_peak" ] && rss_peak=$rss
    sleep 0.02
  done
  wait "$curl_pid"
  ours_speeds+=("$(cat "$work/speed")")
done
median() { printf '%s\n' "$@" | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
nginx_speed=$(median "${nginx_speeds[@]}")
ours_speed=$(median "${ours_speeds[@]}")
mib() { awk -v b="$1" 'BEGIN {printf "%.0f", b / 1048576}'; }

echo
echo "1 GiB over loopback to curl -o /dev/null (median of $rounds):"
echo "  nginx (sendfile on):  $(mib "$nginx_speed") MiB/s   runs: $(for s in "${nginx_speeds[@]}"; do printf '%s ' "$(mib "$s")"; done)"
echo "  vocalis HTTPServer:   $(mib "$ours_speed") MiB/s   runs: $(for s in "${ours_speeds[@]}"; do printf '%s ' "$(mib "$s")"; done)"
awk -v a="$ours_speed" -v b="$nginx_speed" 'BEGIN {printf "  ratio ours/nginx:    %.2f\n", a / b}'
echo "  server RSS: before $rss_before KiB, peak while serving $rss_peak KiB, growth $((rss_peak - rss_before)) KiB"
kill "$ours_pid"; wait "$ours_pid" 2>/dev/null || true

# --- thumbnails -------------------------------------------------------------------------
count=1000
mkdir -p "$work/thumbs/thumbnail" "$work/nginx-thumbs"
ffmpeg -hide_banner -loglevel error -f lavfi -i testsrc=size=640x360 -frames:v 1 -q:v 4 "$work/sample.jpg"
for i in $(seq 0 $((count - 1))); do
  name=$(printf 's%05d' "$i")
  cp "$work/sample.jpg" "$work/thumbs/thumbnail/$name-.jpg"
  ln "$work/thumbs/thumbnail/$name-.jpg" "$work/nginx-thumbs/$i"
done
start_ours thumbnails "$work/thumbs" "$count"
nginx_thumb_port=$(free_port)
start_nginx "$work/nginx-thumbs" "$nginx_thumb_port" 0
cat > "$work/ids.lua" <<LUA
math.randomseed(os.time())
request = function()
  return wrk.format("GET", "/" .. math.random(0, $count - 1), {["Connection"] = "close"})
end
LUA
wrk_rps() { wrk -t2 -c32 -d5s -s "$work/ids.lua" "$1" | tee -a "$work/wrk.log" | awk '/^Requests\/sec/ {print $2}'; }
nginx_all=(); ours_all=()
for round in $(seq $rounds); do  # alternated, so a busy moment of the machine hits both
  nginx_all+=("$(wrk_rps "http://127.0.0.1:$nginx_thumb_port")")
  ours_all+=("$(wrk_rps "http://127.0.0.1:$ours_port")")
done
nginx_rps=$(median "${nginx_all[@]}")
ours_rps=$(median "${ours_all[@]}")
echo
echo "thumbnails, $(stat -c %s "$work/sample.jpg")-byte JPEG, wrk -t2 -c32 -d5s, Connection: close (median of $rounds):"
echo "  nginx (keep-alive off):     $nginx_rps requests/s   runs: ${nginx_all[*]}"
echo "  vocalis thumbnail endpoint: $ours_rps requests/s   runs: ${ours_all[*]}"
awk -v a="$ours_rps" -v b="$nginx_rps" 'BEGIN {printf "  ratio ours/nginx:    %.2f\n", a / b}'
grep -h "Non-2xx\|Socket errors" "$work/wrk.log" || true
