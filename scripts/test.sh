#!/usr/bin/env bash
# Builds everything and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/bootstrap.sh
./scripts/check_format.sh
./scripts/build.sh
cd build
ctest --output-on-failure --timeout 600 -j "$(nproc)" "$@"
