#!/bin/sh
# Stand-in for a native game's own launcher: records that it was started, then exits.
# The record goes to $NERQ_DEMO_LOG, or /tmp/nerq-demo-launch.log when that is unset.
game="${1:-unknown}"
shift 2>/dev/null || true
log="${NERQ_DEMO_LOG:-/tmp/nerq-demo-launch.log}"
printf '%s %s started pid=%s args=%s\n' "$(date '+%Y-%m-%dT%H:%M:%S')" "$game" "$$" "$*" >> "$log"
exit 0
