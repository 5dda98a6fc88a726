#!/usr/bin/env bash
# Installs every Debian package the project needs to build, test and run. Safe to re-run.
set -euo pipefail

packages=(
  # build
  build-essential cmake ninja-build pkg-config git
  # libraries
  libasio-dev libutf8proc-dev libssl-dev libudev-dev
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev python3 time hyperfine
  # phone remote: the command-stream fuzz target (clang with libFuzzer)
  clang libclang-rt-14-dev
  # media player, clips and system volume (libVLC, ffmpeg, PulseAudio test daemon, fonts for the clips)
  libvlc-dev vlc-plugin-base ffmpeg libpulse-dev pulseaudio pulseaudio-utils fonts-dejavu-core
  # the player's own sound path: key change
  librubberband-dev
  # the video view: the player's YUV pictures turned into the window's colours; the player's
  # own video output for libVLC; VA-API decoding's copy-back (and VLC's X11 output, the
  # playback benchmark's peer)
  libyuv-dev libvlccore-dev vlc-plugin-video-output
  # HTTP services: real clients, the fuzzer, and the peers of the benchmarks
  curl clang libclang-rt-14-dev libvlc-dev vlc-plugin-base ffmpeg nginx-light wrk
  # Qt desktop layer: widgets, OpenGL headers Qt's CMake files ask for, fonts with Vietnamese marks
  qt6-base-dev libgl-dev fonts-dejavu-core fonts-noto-core
  # the whole player under a virtual display: screenshots and the playback benchmark
  xvfb x11-utils xauth
  # the operator windows' screenshots: their shortcuts are pressed like a person would
  xdotool
  # launch at login: the autostart entry is checked with the desktop's own validator
  desktop-file-utils
  # the durable state: queue, history and favourites in SQLite
  libsqlite3-dev
  # the measured score: FFmpeg's decoders for a song's tracks, aubio for the pitch
  libavformat-dev libavcodec-dev libswresample-dev libavutil-dev libaubio-dev
  # the browser remote: HTTP and WebSocket (Boost.Beast), JSON, the QR code, and a real browser
  # driven by the page's test
  libboost-dev nlohmann-json3-dev libqrencode-dev chromium chromium-driver python3-selenium
  # the test command fails on a C++ file that differs from the root .clang-format
  clang-format
  # the QR code on the screen is read back by a real scanner in the tests
  zbar-tools
  # media keys: QtDBus, tested on a private session bus with gdbus; the Debian package's checks
  dbus-daemon libglib2.0-bin dpkg-dev lintian
  # the screen kept awake: the X server's own saver reset over Qt's X connection
  libxcb1-dev
  # camera takes: GStreamer with V4L2 and PulseAudio sources, x264, AAC (libav) and the MP4 muxer
  libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev gstreamer1.0-plugins-base gstreamer1.0-plugins-good
  gstreamer1.0-plugins-bad gstreamer1.0-plugins-ugly gstreamer1.0-libav gstreamer1.0-pulseaudio
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
