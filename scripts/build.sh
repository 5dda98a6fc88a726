#!/usr/bin/env bash
# Configures (once) and builds everything into build/ (programs in build/bin/).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/bootstrap.sh
[ -f build/build.ninja ] || cmake -S . -B build -G Ninja -DVOCALIS_WERROR=ON
cmake --build build
