#!/usr/bin/env bash
# Installs what is missing, builds, and runs the player with a few demo songs (made with
# ffmpeg on first use in the data folder), so it shows something without a USB song drive.
# Any arguments go to vocalis-player (see --help); USB drives with a "Karaoke" folder are
# scanned as well.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/build.sh >/dev/null
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found: starting the player on a virtual screen (xvfb-run); phones can still use it." >&2
  exec xvfb-run -a -s "-screen 0 1920x1080x24" build/bin/vocalis-player --demo "$@"
fi
exec build/bin/vocalis-player --demo "$@"
