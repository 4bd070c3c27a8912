#!/usr/bin/env bash
# The whole test suite from nothing: installs the packages, builds, runs every test with CTest.
# GUI and OpenGL tests start their own Xvfb server, so no display is needed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${NERQ_BUILD_DIR:-$root/build}

"$root/scripts/setup.sh"
"$root/scripts/build.sh" -DNERQ_BUILD_TESTS=ON -DNERQ_BUILD_BENCHMARKS=ON
cd "$build"
ctest --output-on-failure -j "${NERQ_TEST_JOBS:-2}" "$@"
