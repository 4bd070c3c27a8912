#!/usr/bin/env bash
# The program's main job from nothing: installs the packages, builds, and runs the program in
# its default VR mode against the simulated runtime, whose preview window shows the dashboard
# overlay and turns mouse input into laser-pointer events.
#
#   scripts/run.sh [program options]      e.g. -english, or -desktop for an ordinary window
#
# With a display the program runs until the preview (or, with -desktop, its window) is closed.
# Without one it runs on a private Xvfb screen, points at the first tile, saves a screenshot of
# the preview under shots/, prints its path and ends the program with the runtime's quit event.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/plain-root.sh"
build=${NERQ_BUILD_DIR:-$root/build}
bin=$build/bin

"$root/scripts/setup.sh"
"$root/scripts/build.sh" -DNERQ_BUILD_TESTS=OFF -DNERQ_BUILD_BENCHMARKS=OFF >/dev/null

# The simulated runtime keeps its state (overlay keys, registrations) and our event script here.
state=$build/vrsim-state
mkdir -p "$state"
events=$state/events.txt
: > "$events"
export VRSIM_STATE_DIR=$state VRSIM_EVENTS=$events VRSIM_PREVIEW=1

# A quit flag left in the device block by an earlier session would end the program at once.
"$bin/nerq-peer" clear quit >/dev/null

# Relative paths (page, catalogue, log.conf) resolve against the working directory.
cd "$bin"
if [ -n "${DISPLAY:-}" ]; then
  exec ./NerqVRPlatform "$@"
fi

mkdir -p "$root/shots"
shot="$root/shots/nerqvrplatform-$(date +%Y%m%d-%H%M%S).png"
desktop=0
for option in "$@"; do [ "$option" = "-desktop" ] && desktop=1; done
export VRSIM_PREVIEW_SNAPSHOT=$shot
# Paths reach the inner script through the environment, so a checkout under any name works.
export NERQ_RUN_LOG=$build/run.log NERQ_RUN_DESKTOP=$desktop

xvfb-run -a -s "-screen 0 1920x1080x24 -nolisten tcp -noreset" bash -c '
  ./NerqVRPlatform "$@" > "$NERQ_RUN_LOG" 2>&1 &
  pid=$!
  echo "+2500 overlay move 323 284" >> "$VRSIM_EVENTS"   # the pointer rests on the first tile
  sleep "${NERQ_SHOT_DELAY:-5}"
  if [ "$NERQ_RUN_DESKTOP" = 1 ] || [ ! -s "$VRSIM_PREVIEW_SNAPSHOT" ]; then
    ./nerq-grab "$VRSIM_PREVIEW_SNAPSHOT"
  fi
  echo "overlay quit" >> "$VRSIM_EVENTS"
  for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
' bash "$@"
echo "Screenshot: $shot"
