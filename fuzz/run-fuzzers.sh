#!/usr/bin/env bash
# The fuzz stage: builds the fuzzers as libFuzzer programs with clang (address and
# undefined-behaviour sanitizers on the whole build) and runs each for a bounded time through
# CTest (the tests labelled "fuzz"). Fails when any fuzzer finds a crash, leak or timeout.
#   fuzz/run-fuzzers.sh [seconds per fuzzer, default 60] [fuzzer names, default all]
# NERQ_JOBS (default 2): build jobs, and fuzzers run at the same time.
# Build directory: build-fuzz/ or $NERQ_FUZZ_BUILD_DIR. Each fuzzer grows a working corpus in
# <build>/fuzz-runs/<name>/corpus (the committed seeds in fuzz/corpus/ are only read); findings
# land there as crash-*, leak-*, timeout-* or oom-* files, the run's output in fuzz.log.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${NERQ_FUZZ_BUILD_DIR:-$root/build-fuzz}
seconds=${1:-60}
shift || true
fuzzers=("$@")

# clang and its libFuzzer runtime come with the project's packages.
"$root/scripts/setup.sh" >/dev/null

# Tests on, so the fuzz runs are registered; only the fuzzers themselves are built.
flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
cmake -S "$root" -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DNERQ_BUILD_FUZZERS=ON -DNERQ_BUILD_TESTS=ON -DNERQ_BUILD_BENCHMARKS=OFF \
  -DNERQ_FUZZ_SECONDS="$seconds" -DCMAKE_CXX_FLAGS="$flags" >/dev/null
if [ ${#fuzzers[@]} -eq 0 ]; then
  cmake --build "$build" -j "${NERQ_JOBS:-2}" --target fuzzers >"$build/build.log" 2>&1 ||
  { tail -40 "$build/build.log"; exit 1; }
  select=()
else
  cmake --build "$build" -j "${NERQ_JOBS:-2}" --target "${fuzzers[@]}" >"$build/build.log" 2>&1 ||
    { tail -40 "$build/build.log"; exit 1; }
  pattern=$(printf '|%s_run' "${fuzzers[@]}")
  select=(-R "^(${pattern:1})\$")
fi

# As many fuzzers at a time as there are jobs: each keeps one core busy.
mkdir -p "$build/fuzz-runs"
set +e
ctest --test-dir "$build" -L fuzz "${select[@]}" -j "${NERQ_JOBS:-2}" -V 2>&1 | tee "$build/fuzz-runs/ctest.log" |
  grep --line-buffered -E '^[0-9]+: (#|stat::|!!|/)|Test +#|tests passed|tests failed|_run \(' 
status=${PIPESTATUS[0]}
exit "$status"
