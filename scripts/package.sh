#!/usr/bin/env bash
# Builds the Debian package nerqvrplatform_<version>_amd64.deb: a build of the product alone
# (no tests, no benchmarks) in build-package/ (or $NERQ_PACKAGE_BUILD_DIR), then cpack.
# Extra arguments go to cmake, e.g. -DOPENVR_SDK_DIR=/path/to/openvr for the real client library
# or -DNERQ_PACKAGE_MAINTAINER="Name <address>". Prints the package's path last.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/plain-root.sh"
build=${NERQ_PACKAGE_BUILD_DIR:-$root/build-package}
mkdir -p "$build"
build=$(cd "$build" && pwd)

# Two builds of one commit give the same package: its dates are the commit's.
if [ -z "${SOURCE_DATE_EPOCH:-}" ] && cdup=$(git -C "$root" rev-parse --show-cdup 2>/dev/null) && [ -z "$cdup" ]; then
    SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct)
    export SOURCE_DATE_EPOCH
fi

# Debian's own compiler and linker flags (optimised, hardened), as a Debian package build uses
# them. Source and build paths stay out of the binaries (file names in log records) through
# NERQ_MAP_BUILD_PATHS, which quotes them for the compiler whatever their characters; dpkg's
# own mapping would put the working directory unquoted into the flags.
export DEB_BUILD_MAINT_OPTIONS="hardening=+all reproducible=-fixfilepath,-fixdebugpath"
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
ldflags=$(dpkg-buildflags --get LDFLAGS)
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=None -DNERQ_BUILD_TESTS=OFF -DNERQ_BUILD_BENCHMARKS=OFF \
    -DNERQ_MAP_BUILD_PATHS=ON -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" \
    -DCMAKE_SHARED_LINKER_FLAGS="$ldflags" "$@" >/dev/null
cmake --build "$build" -j "${NERQ_JOBS:-$(nproc)}"
rm -f "$build"/nerqvrplatform_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
ls "$build"/nerqvrplatform_*.deb
