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
# Copies are made once and never overwritten; delete one to get the default back.
#
# When nerq-catalogue lies beside the program, its Steam scan merges the installed Steam VR
# games into game/ before every start, unless the file "no-steam-scan" exists in the folder.
# Options go to the program unchanged; its exit status is this command's.
set -eu

here=$(dirname -- "$(readlink -f -- "$0")")

# XDG: an unset, empty or relative value means the default.
case ${XDG_DATA_HOME:-} in
/*) data_home=$XDG_DATA_HOME ;;
*)
    if [ -z "${HOME:-}" ]; then
        echo "nerqvrplatform: neither HOME nor XDG_DATA_HOME is set; no place for the user's files" >&2
        exit 1
    fi
    data_home=$HOME/.local/share
    ;;
esac
user_dir=$data_home/nerqvrplatform

mkdir -p -- "$user_dir/logs"

# Copied aside and renamed into place, so an interrupted first start leaves no half copy.
for item in game log.conf; do
    if [ ! -e "$user_dir/$item" ] && [ ! -L "$user_dir/$item" ]; then
        partial=$user_dir/.$item.partial
        rm -rf -- "$partial"
        cp -R -- "$here/$item" "$partial"
        if ! mv -T -- "$partial" "$user_dir/$item" 2>/dev/null; then
            rm -rf -- "$partial"
            # Another start may have been quicker.
            if [ ! -e "$user_dir/$item" ]; then
                echo "nerqvrplatform: could not create $user_dir/$item" >&2
                exit 1
            fi
        fi
    fi
done

# Follows the program wherever it is now; a folder the user put in its place is left alone.
if [ -L "$user_dir/res" ] || [ ! -e "$user_dir/res" ]; then
    ln -sfn -- "$here/res" "$user_dir/res"
fi

scanner=$here/nerq-catalogue
if [ -x "$scanner" ] && [ ! -e "$user_dir/no-steam-scan" ]; then
    {
        echo "== $(date '+%Y-%m-%d %H:%M:%S') nerq-catalogue scan"
        status=0
        "$scanner" scan --catalogue-dir "$user_dir" </dev/null 2>&1 || status=$?
        echo "== exit status $status"
    } >"$user_dir/logs/steam-scan.log"
fi

cd -- "$user_dir"
exec "$here/NerqVRPlatform" "$@"
