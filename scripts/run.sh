#!/usr/bin/env bash
# Builds and runs the player. Until the player window exists this runs the catalogue tool;
# with no arguments it lists the song folders found and counts their songs.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/build.sh >/dev/null
if [ $# -eq 0 ]; then
  build/bin/vocalis-catalogue folders && exec build/bin/vocalis-catalogue count
fi
exec build/bin/vocalis-catalogue "$@"
