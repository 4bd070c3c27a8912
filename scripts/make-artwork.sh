#!/usr/bin/env bash
# Builds the artwork generator and redraws every committed PNG of the page, the dashboard
# thumbnail and the demo tile pictures. Usage: scripts/make-artwork.sh [build-dir]
set -euo pipefail

src="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$src/build-artwork}"

# The generator configures on its own: no need for the rest of the tree to build.
cmake -S "$src/tools/artgen" -B "$build" >/dev/null
cmake --build "$build" --target nerq-artgen -j2

# Drawing needs no display; the offscreen platform still has the font database.
QT_QPA_PLATFORM=offscreen "$build/bin/nerq-artgen" "$src"
