#!/usr/bin/env bash
# One bounded libFuzzer run, for CTest:
#   run-one.sh <fuzzer> <seconds> <run dir> <seed dir> [more libFuzzer options]
# The fuzzer grows a working corpus in <run dir>/corpus (the committed seeds are only read) and
# writes what it finds as <run dir>/crash-*, leak-*, timeout-* or oom-*. Fails when the fuzzer
# fails or leaves such a file; the run's output stays in <run dir>/fuzz.log.
set -uo pipefail
fuzzer=$1 seconds=$2 run=$3 seeds=$4
shift 4
mkdir -p "$run/corpus"
# Findings of an earlier run were reported by that run.
rm -f "$run"/crash-* "$run"/leak-* "$run"/timeout-* "$run"/oom-*

"$fuzzer" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2560 -print_final_stats=1 \
  -artifact_prefix="$run/" "$@" "$run/corpus" "$seeds" >"$run/fuzz.log" 2>&1
status=$?

grep -E '^#[0-9]+.*(pulse|DONE|NEW|REDUCE|INITED)' "$run/fuzz.log" | tail -1
grep -E '^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb|new_units_added)' "$run/fuzz.log"
findings=$(find "$run" -maxdepth 1 -type f \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' \
  -o -name 'oom-*' \) | sort)
if [ "$status" -ne 0 ] || [ -n "$findings" ]; then
  echo "!! $(basename "$fuzzer") failed (exit $status); log: $run/fuzz.log"
  [ -n "$findings" ] && echo "$findings"
  # The report itself: the sanitizer's or libFuzzer's error and the first frames.
  grep -A 25 -m 1 -E '^==[0-9]+==ERROR|^SUMMARY|deadly signal|ERROR: libFuzzer' "$run/fuzz.log" | head -40
  exit 1
fi
