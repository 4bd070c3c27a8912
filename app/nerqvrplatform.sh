#!/bin/sh
# nerqvrplatform: starts NerqVRPlatform for the current user.
#
# The program reads its page, catalogue and logging configuration from its working directory
# and writes its log there, while its own folder may be read-only (a package). So it runs in a
# folder of the user's own, $XDG_DATA_HOME/nerqvrplatform (~/.local/share/nerqvrplatform):
#   game/     the catalogues and pictures, copied from the program's folder when missing
#   log.conf  copied likewise
#   logs/     the program's log and the last Steam scan's
#   res       a link to the program's page files
# Copies are made once and never overwritten; delete one to get the default back. A folder
# that cannot be written (a kiosk) is used as it is when game/, log.conf and res are there;
# what could not be refreshed is said on standard error.
#
# When nerq-catalogue lies beside the program, its Steam scan merges the installed Steam VR
# games into game/ before every start, unless the file "no-steam-scan" exists in the folder.
# It runs in the user's folder and is stopped after 10 seconds (killed 2 seconds later if it
# will not stop), so a hung scan only delays the start; a healthy one takes well under a second.
# There is no scan for -installmanifest and -removemanifest, nor when logs/ cannot be written.
# Options go to the program unchanged; its exit status is this command's.
#
# No "set -e": a step that fails is reported, and the program starts whenever what it needs is
# there.
set -u

# Longer than the 5 s the scan waits for another scan's lock.
scan_limit=10
scan_kill_after=2

here=$(dirname -- "$(readlink -f -- "$0")")

say() {
    echo "nerqvrplatform: $*" >&2
}

# XDG: an unset, empty or relative value means the default.
case ${XDG_DATA_HOME:-} in
/*) data_home=$XDG_DATA_HOME ;;
*)
    if [ -z "${HOME:-}" ]; then
        say "neither HOME nor XDG_DATA_HOME is set; no place for the user's files"
        exit 1
    fi
    data_home=$HOME/.local/share
    ;;
esac
user_dir=$data_home/nerqvrplatform

if ! mkdir -p -- "$user_dir" 2>/dev/null; then
    say "could not create $user_dir"
    exit 1
fi

# What a start killed in the middle of its copy left; a copy takes far less than an hour.
find "$user_dir" -mindepth 1 -maxdepth 1 -mmin +60 \( -name '.game.??????' -o -name '.log.conf.??????' \) \
    -exec rm -rf -- {} + 2>/dev/null

# Each start copies into a folder of its own beside the target and renames the copy into place,
# so starts at the same time land one copy and an interrupted start no half one. Only the first
# rename lands: a folder is not renamed onto a non-empty one, and a file is linked, never
# renamed, since a rename would replace what is there.
partial=
trap '[ -z "$partial" ] || rm -rf -- "$partial"' EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM
for item in game log.conf; do
    target=$user_dir/$item
    if [ -e "$target" ] || [ -L "$target" ]; then
        continue
    fi
    if partial=$(mktemp -d -- "$user_dir/.$item.XXXXXX" 2>/dev/null) &&
        cp -R -- "$here/$item" "$partial/$item" 2>/dev/null; then
        if [ -d "$partial/$item" ] && [ ! -L "$partial/$item" ]; then
            mv -T -- "$partial/$item" "$target" 2>/dev/null
        else
            ln -- "$partial/$item" "$target" 2>/dev/null
        fi
    fi
    [ -z "$partial" ] || rm -rf -- "$partial"
    partial=
    if [ ! -e "$target" ]; then
        say "could not copy $here/$item to $target"
        exit 1
    fi
done

# Follows the program wherever it is now; a folder the user put in its place is left alone.
if [ -L "$user_dir/res" ] || [ ! -e "$user_dir/res" ]; then
    if [ "$(readlink -- "$user_dir/res")" != "$here/res" ] &&
        ! ln -sfn -- "$here/res" "$user_dir/res" 2>/dev/null &&
        [ "$(readlink -- "$user_dir/res")" != "$here/res" ]; then
        if [ -e "$user_dir/res" ]; then
            say "could not link $user_dir/res to $here/res; the page is taken from $(readlink -- "$user_dir/res")"
        else
            say "could not link $user_dir/res to $here/res"
            exit 1
        fi
    fi
fi

if ! cd -- "$user_dir"; then
    say "could not enter $user_dir"
    exit 1
fi
mkdir -p logs 2>/dev/null || say "could not create $user_dir/logs; the program writes no log"

scan=yes
for argument; do
    case $argument in
    -installmanifest | -removemanifest) scan= ;;
    esac
done
scanner=$here/nerq-catalogue
if [ -n "$scan" ] && [ -x "$scanner" ] && [ ! -e no-steam-scan ]; then
    if ! (: >logs/steam-scan.log) 2>/dev/null; then
        say "cannot write $user_dir/logs; no Steam scan"
    else
        {
            echo "== $(date '+%Y-%m-%d %H:%M:%S') nerq-catalogue scan"
            status=0
            timeout -k "$scan_kill_after" "$scan_limit" "$scanner" scan --catalogue-dir "$user_dir" \
                </dev/null 2>&1 || status=$?
            case $status in
            124) echo "== stopped after $scan_limit s" ;;
            137) echo "== stopped after $scan_limit s, killed $scan_kill_after s later" ;;
            *) echo "== exit status $status" ;;
            esac
        } >logs/steam-scan.log
    fi
fi

exec "$here/NerqVRPlatform" "$@"
