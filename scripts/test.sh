#!/usr/bin/env bash
# Everything that proves the program, from nothing: installs the packages, then runs the stages
# in order and prints how long each took. A failed stage does not stop the later ones; the exit
# status is 1 if any failed.
#   scripts/test.sh                 all stages
#   scripts/test.sh suite fuzz      only the named ones
# Stages:
#   lint       clang-format and cppcheck on the project's own code (scripts/lint.sh)
#   suite      build with tests and benchmarks, run every test with CTest
#   sanitizers the same suite built with AddressSanitizer + UBSan (scripts/test-sanitizers.sh)
#   fuzz       each libFuzzer target for $NERQ_FUZZ_SECONDS (default 60) (fuzz/run-fuzzers.sh)
#   windows    every Windows-only file compiled with MinGW-w64, and the Win32 device link
#              cross-compiled and tested under Wine (scripts/test-windows.sh)
#   package    the Debian package built, inspected, judged by lintian, unpacked into a temporary
#              root and run there by an ordinary user (scripts/test-package.sh)
# GUI and OpenGL tests start their own Xvfb server, so no display is needed.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${NERQ_BUILD_DIR:-$root/build}

all=(lint suite sanitizers fuzz windows package)
stages=("$@")
[ ${#stages[@]} -eq 0 ] && stages=("${all[@]}")
for stage in "${stages[@]}"; do
    case " ${all[*]} " in
    *" $stage "*) ;;
    *)
        echo "test.sh: unknown stage \"$stage\" (stages: ${all[*]})" >&2
        exit 2
        ;;
    esac
done

"$root/scripts/setup.sh" || exit 1

run_stage() {
    case $1 in
    lint) "$root/scripts/lint.sh" ;;
    suite)
        "$root/scripts/build.sh" -DNERQ_BUILD_TESTS=ON -DNERQ_BUILD_BENCHMARKS=ON &&
            (cd "$build" && ctest --output-on-failure -j "${NERQ_TEST_JOBS:-2}")
        ;;
    sanitizers) "$root/scripts/test-sanitizers.sh" ;;
    fuzz) "$root/fuzz/run-fuzzers.sh" "${NERQ_FUZZ_SECONDS:-60}" ;;
    windows) "$root/scripts/check-windows-sources.sh" && "$root/scripts/test-windows.sh" ;;
    package) "$root/scripts/test-package.sh" ;;
    esac
}

# The device service's own blocks must come through the run untouched: tests use blocks of
# their own (NERQ_BLOCK_PREFIX).
blocks_before=$(mktemp -d)
trap 'rm -rf "$blocks_before"' EXIT
"$root/scripts/device-blocks.sh" snapshot "$blocks_before"

summary=()
failed=0
for stage in "${stages[@]}"; do
    echo
    echo "==== stage $stage"
    start=$SECONDS
    if run_stage "$stage"; then
        result=passed
    else
        result=FAILED
        failed=1
    fi
    summary+=("$(printf '%-11s %-7s %4d s' "$stage" "$result" $((SECONDS - start)))")
done

if "$root/scripts/device-blocks.sh" verify "$blocks_before"; then
    summary+=("$(printf '%-11s %-7s' device-blocks untouched)")
else
    summary+=("$(printf '%-11s %-7s' device-blocks CHANGED)")
    failed=1
fi

echo
echo "==== summary"
printf '%s\n' "${summary[@]}"
exit $failed
