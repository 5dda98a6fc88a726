# Sourced by the benchmarks that show the player: a private 1920x1080 Xvfb in $display, a
# scratch folder in $work, both gone when the script exits.
display=":$(( 600 + RANDOM % 300 ))"
Xvfb "$display" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
work="$(mktemp -d)"
trap 'kill $xvfb 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 50); do xdpyinfo -display "$display" >/dev/null 2>&1 && break; sleep 0.1; done
