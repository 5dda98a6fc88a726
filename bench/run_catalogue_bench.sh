#!/usr/bin/env bash
# Catalogue benchmarks: the scan of a 100,000-song tree against `find` on the same warm tree,
# the peak memory of the tool, and the search per key press. Figures go to bench/README.md by hand.
set -euo pipefail
cd "$(dirname "$0")/.."
out=bench/out
mkdir -p "$out"
if [ ! -d "$out/tree/Karaoke" ]; then
  python3 bench/make_song_tree.py "$out/tree" --count 100000 --list "$out/songs.txt"
fi
tool=build/bin/vocalis-catalogue
tree="$out/tree/Karaoke"

echo "== warm-up"
find "$tree" -type f >/dev/null
"$tool" --songs "$tree" md5 2>/dev/null

echo "== scan: find vs vocalis-catalogue md5 (same run)"
hyperfine --warmup 2 --runs 10 --export-json "$out/scan.json" \
  "find '$tree' -type f > /dev/null" \
  "$tool --songs '$tree' md5 > /dev/null 2>&1"
python3 - "$out/scan.json" <<'PY'
import json, sys
r = json.load(open(sys.argv[1]))["results"]
find, scan = r[0]["mean"], r[1]["mean"]
print(f"find: {find*1000:.1f} ms  scan: {scan*1000:.1f} ms  ratio: {scan/find:.2f} (goal <= 1.5)")
PY

echo "== peak memory of vocalis-catalogue --songs TREE md5"
/usr/bin/time -f "max RSS: %M KiB" "$tool" --songs "$tree" md5 >/dev/null 2>"$out/time.txt" || true
grep 'max RSS' "$out/time.txt"

echo "== search per key press"
VOCALIS_SONG_LIST="$out/songs.txt" build/bin/bench_filter --benchmark_filter='BM_Filter'
