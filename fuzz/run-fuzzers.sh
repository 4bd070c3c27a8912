#!/usr/bin/env bash
# Builds the fuzzers as libFuzzer programs with clang (address and undefined-behaviour sanitizers
# on the whole build) and runs each for a while.
#   fuzz/run-fuzzers.sh [seconds per fuzzer, default 60] [fuzzer names, default all]
# Build directory: build-fuzz/ or $NERQ_FUZZ_BUILD_DIR. Each fuzzer grows a working corpus in
# <build>/fuzz-runs/<name>/corpus (the committed seeds in fuzz/corpus/ are only read); crashes
# land there as crash-*, leak-* or timeout-* files, the run's output in fuzz-0.log.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${NERQ_FUZZ_BUILD_DIR:-$root/build-fuzz}
seconds=${1:-60}
shift || true
fuzzers=("$@")
if [ ${#fuzzers[@]} -eq 0 ]; then
  fuzzers=(fuzz_catalogue fuzz_eventline fuzz_eventscript fuzz_recordline fuzz_commandline)
fi

# clang and its libFuzzer runtime are not part of the normal setup.
probe='extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }'
if ! echo "$probe" | clang++ -x c++ -fsanitize=fuzzer - -o /dev/null 2>/dev/null; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get update
  $sudo apt-get install -y clang
fi

flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
cmake -S "$root" -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DNERQ_BUILD_FUZZERS=ON -DNERQ_BUILD_TESTS=OFF -DNERQ_BUILD_BENCHMARKS=OFF \
  -DCMAKE_CXX_FLAGS="$flags"
cmake --build "$build" -j "${NERQ_JOBS:-2}" --target "${fuzzers[@]}"

failed=0
for fuzzer in "${fuzzers[@]}"; do
  name=${fuzzer#fuzz_}
  run="$build/fuzz-runs/$fuzzer"
  mkdir -p "$run/corpus"
  options=(-jobs=1 -workers=1 -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048
           -artifact_prefix="$run/" -print_final_stats=1)
  [ -f "$root/fuzz/$name.dict" ] && options+=(-dict="$root/fuzz/$name.dict")
  case $name in
    eventline|eventscript) options+=(-dict="$root/fuzz/eventscript.dict" -close_fd_mask=2) ;;
  esac
  echo "== $fuzzer: $seconds s"
  # With -jobs the fuzzing runs in a child writing fuzz-0.log; the parent's echo of it is dropped.
  (cd "$run" && "$build/fuzz-bin/$fuzzer" "${options[@]}" corpus "$root/fuzz/corpus/$name" \
    >"$run/driver.log" 2>&1) || true
  # The summary lines: the last status line and the final statistics.
  grep -E '^#[0-9]+.*(pulse|DONE|NEW|REDUCE)' "$run/fuzz-0.log" | tail -1 || true
  grep -E '^stat::' "$run/fuzz-0.log" || true
  if grep -qE 'ERROR: |deadly signal|Test unit written' "$run/fuzz-0.log"; then
    echo "!! $fuzzer found a problem; see $run/fuzz-0.log"
    failed=1
  fi
done
exit $failed
