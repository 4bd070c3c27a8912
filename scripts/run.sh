#!/usr/bin/env bash
# The program's main job from nothing: installs the packages, builds, and shows the game library.
#
#   scripts/run.sh [program options]      default options: -desktop -english
#
# With a display the program runs in the foreground until its window is closed. Without one it
# runs on a private Xvfb screen, a screenshot is saved under shots/ and its path printed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${NERQ_BUILD_DIR:-$root/build}
bin=$build/bin

"$root/scripts/setup.sh"
"$root/scripts/build.sh" -DNERQ_BUILD_TESTS=OFF -DNERQ_BUILD_BENCHMARKS=OFF >/dev/null

options=("$@")
[ ${#options[@]} -gt 0 ] || options=(-desktop -english)

# Relative paths (page, catalogue, log.conf) resolve against the working directory.
cd "$bin"
if [ -n "${DISPLAY:-}" ]; then
  exec ./NerqVRPlatform "${options[@]}"
fi

mkdir -p "$root/shots"
shot="$root/shots/nerqvrplatform-$(date +%Y%m%d-%H%M%S).png"
xvfb-run -a -s "-screen 0 1920x1080x24 -nolisten tcp" bash -c '
  ./NerqVRPlatform "$@" > "'"$build"'/run.log" 2>&1 &
  pid=$!
  sleep "${NERQ_SHOT_DELAY:-5}"
  ./nerq-grab "'"$shot"'"
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
' bash "${options[@]}"
echo "Screenshot: $shot"
