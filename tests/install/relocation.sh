#!/usr/bin/env bash
# A build against an SDK-shaped folder (the simulated runtime as headers/openvr.h and
# lib/linux64/libopenvr_api.so without a SONAME), and its install tree, both run after that
# folder is gone: the client library travels beside the programs.
#   relocation.sh <source dir> <SDK-shaped folder>
set -euo pipefail
source_dir=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -R "$2" "$work/sdk"

# Product targets only, unoptimised: the linking is what is checked.
if ! cmake -S "$source_dir" -B "$work/build" -DOPENVR_SDK_DIR="$work/sdk" -DNERQ_BUILD_TESTS=OFF \
    -DNERQ_BUILD_BENCHMARKS=OFF -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG=-O0 >"$work/log" 2>&1 ||
    ! cmake --build "$work/build" -j "${NERQ_JOBS:-2}" >"$work/log" 2>&1 ||
    ! cmake --install "$work/build" --prefix "$work/install" >"$work/log" 2>&1; then
    tail -40 "$work/log"
    exit 1
fi
rm -rf "$work/sdk"

status=0
checked=0
program_dir=$work/install/lib/nerqvrplatform
# Every program of the install tree, and the build tree's.
for program in "$work/build/bin/NerqVRPlatform" "$program_dir"/*; do
    [ -f "$program" ] && [ -x "$program" ] && [ "$(head -c 4 "$program")" = $'\x7fELF' ] || continue
    checked=$((checked + 1))
    if ldd "$program" | grep "not found"; then
        echo "FAIL: $program misses libraries"
        status=1
    fi
done
if [ $checked -lt 3 ]; then
    echo "FAIL: only $checked programs found to check"
    status=1
fi
# grep reads to the end: -q would leave at the first match, and ldd's broken pipe fail the check.
if ! ldd "$program_dir/NerqVRPlatform" | grep "libopenvr_api.so => $program_dir/libopenvr_api.so" >/dev/null; then
    echo "FAIL: the installed program does not take the client library from beside itself:"
    ldd "$program_dir/NerqVRPlatform"
    status=1
fi

# Registering with the runtime needs the client library and reaches the simulated one in it.
export VRSIM_STATE_DIR=$work/vrsim HOME=$work/home QT_QPA_PLATFORM=offscreen
for program in "$work/build/bin/NerqVRPlatform" "$work/install/bin/nerqvrplatform"; do
    if ! output=$("$program" -installmanifest 2>&1); then
        echo "FAIL: $program -installmanifest: $output"
        status=1
    fi
done
[ $status -eq 0 ] && echo "build and install tree run without the SDK folder"
exit $status
