#!/usr/bin/env bash
# Configures and builds everything into build/ (or $NERQ_BUILD_DIR). Extra arguments go to cmake.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${NERQ_BUILD_DIR:-$root/build}
jobs=${NERQ_JOBS:-$(nproc)}

cmake -S "$root" -B "$build" "$@"
cmake --build "$build" -j "$jobs"
