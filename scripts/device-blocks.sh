#!/usr/bin/env bash
# Proof that a test run leaves the device service's blocks alone: "snapshot DIR" records the
# three blocks as they are (bytes, or that there is none), "verify DIR" fails if any of them has
# been created, changed or removed since.
#   scripts/device-blocks.sh snapshot /tmp/before
#   scripts/device-blocks.sh verify /tmp/before
set -euo pipefail
blocks=(Velkano_Game Velkano_Memory NerqVRPlatform)
shm=${NERQ_SHM_DIR:-/dev/shm}

usage() {
    echo "usage: $0 snapshot|verify DIR" >&2
    exit 2
}
[ $# -eq 2 ] || usage
dir=$2

case $1 in
snapshot)
    mkdir -p "$dir"
    for b in "${blocks[@]}"; do
        rm -f "$dir/$b" "$dir/$b.absent"
        if [ -e "$shm/$b" ]; then cp "$shm/$b" "$dir/$b"; else touch "$dir/$b.absent"; fi
    done
    ;;
verify)
    changed=0
    for b in "${blocks[@]}"; do
        if [ -e "$dir/$b.absent" ]; then
            if [ -e "$shm/$b" ]; then
                echo "device blocks: $b did not exist before the run and does now" >&2
                changed=1
            fi
        elif [ ! -e "$shm/$b" ]; then
            echo "device blocks: $b existed before the run and is gone" >&2
            changed=1
        elif ! cmp -s "$dir/$b" "$shm/$b"; then
            echo "device blocks: the bytes of $b changed during the run" >&2
            changed=1
        fi
    done
    [ $changed -eq 0 ] && echo "device blocks: ${blocks[*]} as before the run"
    exit $changed
    ;;
*) usage ;;
esac
