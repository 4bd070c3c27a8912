#!/bin/sh
# A newcomer's build against today's OpenVR SDK: its header declares newer interface versions,
# and the configure must stop with a message naming them and the release to take, before any
# compile error deep in the sources. Configure only.
#   sdk-release.sh <source dir> <the simulated runtime's openvr.h>
set -eu
source_dir=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/sdk/headers" "$work/sdk/lib/linux64"
sed -e 's/"IVRSystem_015"/"IVRSystem_022"/' -e 's/"IVROverlay_016"/"IVROverlay_028"/' \
    -e 's/"IVRApplications_006"/"IVRApplications_007"/' "$2" >"$work/sdk/headers/openvr.h"
: >"$work/sdk/lib/linux64/libopenvr_api.so"

if cmake -S "$source_dir" -B "$work/build" -DOPENVR_SDK_DIR="$work/sdk" -DNERQ_BUILD_TESTS=OFF \
    -DNERQ_BUILD_BENCHMARKS=OFF >"$work/log" 2>&1; then
    echo "FAIL: the configure accepted a header without the program's interface versions"
    exit 1
fi
# CMake wraps long messages; compare the text with the line breaks taken out.
message=$(sed 's/^ *//' "$work/log" | tr '\n' ' ')
status=0
for expected in "IVRSystem_022 instead of IVRSystem_015" "IVROverlay_028 instead of IVROverlay_016" \
    "IVRApplications_007 instead of IVRApplications_006" "release v1.0.7"; do
    case $message in
    *"$expected"*) ;;
    *)
        echo "FAIL: the configure's message lacks \"$expected\""
        status=1
        ;;
    esac
done
[ $status -eq 0 ] || cat "$work/log"
[ $status -eq 0 ] && echo "the configure stops at a header of another release and names it"
exit $status
