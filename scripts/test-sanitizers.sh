#!/usr/bin/env bash
# The whole test suite once more, built with AddressSanitizer and UndefinedBehaviorSanitizer
# (gcc, NERQ_SANITIZERS). Any report fails the test that caused it: undefined behaviour aborts;
# bad accesses, double frees and leaks end the process with an error status. The sanitizer
# options each test runs with are set in tests/CMakeLists.txt (leak exceptions: tests/lsan.supp).
#   scripts/test-sanitizers.sh [ctest options]
# Build directory: build-asan/ or $NERQ_ASAN_BUILD_DIR.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${NERQ_ASAN_BUILD_DIR:-$root/build-asan}

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Debug -DNERQ_SANITIZERS=ON -DNERQ_BUILD_TESTS=ON \
    -DNERQ_BUILD_BENCHMARKS=OFF -DCMAKE_CXX_FLAGS= -DCMAKE_EXE_LINKER_FLAGS=
cmake --build "$build" -j "${NERQ_JOBS:-2}"
# For the few tests registered outside tests/ (the fuzzers' replay runs).
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$root/tests/lsan.supp:print_suppressions=0
cd "$build"
ctest --output-on-failure -j "${NERQ_TEST_JOBS:-2}" "$@"
