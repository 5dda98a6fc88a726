#!/usr/bin/env bash
# Builds the Debian package: scripts/package.sh [BUILDDIR [OUTDIR]] (default build-package/,
# the package in BUILDDIR/package/). Install it with: sudo apt install ./vocalis-player_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build-package}"
out="$(realpath -m "${2:-$build/package}")"
if [ ! -f "$build/CMakeCache.txt" ]; then
  ./scripts/bootstrap.sh
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DVOCALIS_BENCH=OFF
fi
cmake --build "$build" --target vocalis-player vocalis-catalogue vocalis-remote vocalis-history vocalis-melody vocalis-desktop-files
mkdir -p "$out"
(cd "$build" && cpack -G DEB -B "$out")
rm -rf "$out/_CPack_Packages"
ls "$out"/vocalis-player_*.deb
