#!/usr/bin/env bash
# Cross-compiles the Windows device link (the Win32 shared-memory core and the record bytes)
# with MinGW-w64 and runs its tests under Wine; no display needed. Build directory:
# $NERQ_WIN_BUILD_DIR or <repo>/build-windows, with its own Wine prefix inside. Extra
# arguments go to ctest. Exits non-zero when anything fails.
set -euo pipefail
started=$(date +%s)
root=$(cd "$(dirname "$0")/.." && pwd)
build=${NERQ_WIN_BUILD_DIR:-$root/build-windows}

report() {
  local status=$?
  # Stop this prefix's server and whatever wineboot left running in it.
  if [ -d "${WINEPREFIX:-}" ]; then wineserver -k >/dev/null 2>&1 || true; fi
  echo "test-windows: $([ $status -eq 0 ] && echo passed || echo FAILED) in $(($(date +%s) - started)) s"
  exit $status
}
trap report EXIT

for tool in x86_64-w64-mingw32-g++-posix wine wineboot wineserver localedef; do
  if ! command -v "$tool" >/dev/null; then
    echo "test-windows: $tool is missing (scripts/setup.sh installs it)" >&2
    exit 2
  fi
done

mkdir -p "$build"
build=$(cd "$build" && pwd)
export WINEPREFIX="$build/wineprefix"
export WINEARCH=win64
export WINEDEBUG=-all
# No Mono or Gecko installer prompts; the tests need neither.
export WINEDLLOVERRIDES="mscoree,mshtml="
# Headless: Wine must not try a display that may be gone.
unset DISPLAY WAYLAND_DISPLAY
export HOME=${HOME:-$build}

cmake -S "$root/tests/windows" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" \
  -DNERQ_WINE_PREFIX="$WINEPREFIX" >"$build/configure.log" || { cat "$build/configure.log"; exit 1; }
cmake --build "$build" -j "${NERQ_BUILD_JOBS:-2}"

# The shell test runs Wine with a Chinese ANSI code page (936), which Wine takes from the C
# library's locale; compiled here so the machine needs no Chinese locale installed.
if [ ! -d "$build/locale/zh_CN.UTF-8" ]; then
  mkdir -p "$build/locale"
  localedef -i zh_CN -f UTF-8 "$build/locale/zh_CN.UTF-8" || { echo "test-windows: localedef zh_CN failed" >&2; exit 1; }
fi

# Creating the prefix is the slow part of the first run; do it once, visibly, before the tests.
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "test-windows: creating the Wine prefix $WINEPREFIX"
  prefix_started=$(date +%s)
  # The server writes the registry out when it exits; wait for that before judging the prefix.
  if ! { wineboot -i && wineserver -w; } >"$build/wineboot.log" 2>&1 || [ ! -f "$WINEPREFIX/system.reg" ]; then
    cat "$build/wineboot.log" >&2
    echo "test-windows: could not create the Wine prefix" >&2
    exit 1
  fi
  echo "test-windows: Wine prefix ready in $(($(date +%s) - prefix_started)) s"
fi

# No persistent server (wineserver -p): Wine's own background processes would then outlive
# each test while holding its output pipe, and CTest would wait for them until the timeout.
cd "$build"
ctest --output-on-failure "$@"
