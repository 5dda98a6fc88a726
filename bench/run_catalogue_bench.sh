#!/usr/bin/env bash
# Catalogue benchmarks: the scan of a 100,000-song tree against `find` on the same warm tree,
# the peak memory of the tool, and the search per key press. Figures go to bench/README.md by hand.
#
# usage: bench/run_catalogue_bench.sh [BUILDDIR] [ROUNDS]   (default build/ and 15; or VOCALIS_BUILD_DIR)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-${VOCALIS_BUILD_DIR:-build}}"
rounds="${2:-15}"
out=bench/out
mkdir -p "$out"
if [ ! -d "$out/tree/Karaoke" ]; then
  python3 bench/make_song_tree.py "$out/tree" --count 100000 --list "$out/songs.txt"
fi
tool="$build/bin/vocalis-catalogue"
tree="$out/tree/Karaoke"

echo "== warm-up"
find "$tree" -type f >/dev/null
"$tool" --songs "$tree" md5 2>/dev/null

# find and the tool alternate round by round (ABAB), so a busy moment of the shared machine
# hits both alike; the figure is the ratio of the medians.
echo "== scan: find vs vocalis-catalogue md5 (same run, alternating, $rounds rounds, load $(cut -d' ' -f1-3 /proc/loadavg))"
python3 - "$tree" "$tool" "$rounds" <<'PY'
import statistics, subprocess, sys, time
tree, tool, rounds = sys.argv[1], sys.argv[2], int(sys.argv[3])
commands = {"find": ["find", tree, "-type", "f"], "scan": [tool, "--songs", tree, "md5"]}
times = {name: [] for name in commands}
for _ in range(rounds):
    for name, command in commands.items():
        start = time.perf_counter()
        subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
        times[name].append(time.perf_counter() - start)
find, scan = statistics.median(times["find"]), statistics.median(times["scan"])
for name in commands:
    print(f"{name}: " + " ".join(f"{t*1000:.0f}" for t in times[name]) + " ms")
print(f"median find: {find*1000:.1f} ms  scan: {scan*1000:.1f} ms  ratio: {scan/find:.2f} (goal <= 1.5)")
PY
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"

echo "== peak memory of vocalis-catalogue --songs TREE md5"
/usr/bin/time -f "max RSS: %M KiB" "$tool" --songs "$tree" md5 >/dev/null 2>"$out/time.txt" || true
grep 'max RSS' "$out/time.txt"

echo "== search per key press"
VOCALIS_SONG_LIST="$out/songs.txt" "$build/bin/bench_filter" --benchmark_filter='BM_Filter'
