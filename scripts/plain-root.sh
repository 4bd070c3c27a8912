# shellcheck shell=sh
# Sourced by the build scripts once they have set root. CMake's compiler check and moc's #include
# lines cannot take a path that holds a double quote, so such a checkout is built through a link
# of a plain name in the user's cache, and the build folders below it are reached through it too.
case $root in
*\"*)
    plain_root=${XDG_CACHE_HOME:-$HOME/.cache}/nerqvrplatform/checkout-$(printf '%s' "$root" | md5sum | cut -c1-16)
    mkdir -p "${plain_root%/*}"
    ln -sfn "$root" "$plain_root"
    root=$plain_root
    ;;
esac
