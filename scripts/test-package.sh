#!/usr/bin/env bash
# The Debian package, checked without installing it: builds it (scripts/package.sh), inspects
# its metadata and files, runs lintian (errors fail), unpacks it into a temporary root and runs
# the unpacked commands there as an ordinary user with a fresh home (tests/install/tst_launcher:
# first start, the page in a window, VR mode against the simulated runtime ended through the
# quit flag, the runtime's registration, later starts keeping the user's files).
# As root, that user is nobody (uid 65534). A screenshot of the page is left in build-package/.
# Then a clone of the commit under a temporary path with a space, built in a folder outside the
# clone, must give the same package byte for byte, and a package against an SDK-shaped folder
# (the simulated runtime as libopenvr_api.so, build-package-sdk/) must carry empty catalogues
# and no demo games.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${NERQ_BUILD_DIR:-$root/build}
package_build=${NERQ_PACKAGE_BUILD_DIR:-$root/build-package}
status=0
fail() {
    echo "FAIL: $*"
    status=1
}

# package <checkout> <build folder> [cmake arguments]: builds the checkout's package there and
# prints its path; the build's output is shown as it comes on standard error. (tee /dev/stderr
# would reopen a log file that standard error goes to, and truncate it.)
package() {
    local log built
    log=$(mktemp)
    NERQ_PACKAGE_BUILD_DIR=$2 "$1/scripts/package.sh" "${@:3}" | tee "$log" >&2
    built=$?
    tail -1 "$log"
    rm -f "$log"
    return $built
}
deb=$(package "$root" "$package_build")
[ -f "$deb" ] || { echo "FAIL: no package was built"; exit 1; }
version=$(sed -n 's/^project(NerqVRPlatform VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
echo "== $deb: $(du -k "$deb" | cut -f1) KiB"
[ "$(basename "$deb")" = "nerqvrplatform_${version}_amd64.deb" ] || fail "package file name $(basename "$deb")"

echo "== dpkg-deb --info"
info=$(dpkg-deb --info "$deb")
echo "$info" | sed -n '/^ [A-Z][A-Za-z-]*: /,$p'
for field in "Package: nerqvrplatform" "Version: $version" "Architecture: amd64" "Section: misc" "Maintainer: " \
    "Installed-Size: "; do
    grep -q "^ $field" <<<"$info" || fail "no \"$field\" in the package's control file"
done
depends=$(sed -n 's/^ Depends: //p' <<<"$info")
for dependency in libqt5quick5 libqt5widgets5 libjsoncpp25 libmosquitto1 qml-module-qtquick2 \
    qml-module-qtquick-controls fonts-wqy-microhei xdg-utils libqt5sql5-sqlite; do
    grep -q "\b$dependency\b" <<<"$depends" || fail "Depends lacks $dependency"
done

echo "== dpkg-deb --contents"
contents=$(dpkg-deb --contents "$deb" | awk '{ print $6, $7, $8 }' | sed 's|^\./|/|')
for expected in /usr/bin/nerqvrplatform /usr/bin/nerq-peer /usr/bin/nerq-catalogue /usr/lib/nerqvrplatform/NerqVRPlatform \
    /usr/lib/nerqvrplatform/nerq-peer /usr/lib/nerqvrplatform/nerq-catalogue /usr/lib/nerqvrplatform/nerqvrplatform.sh \
    /usr/lib/nerqvrplatform/manifest.vrmanifest /usr/lib/nerqvrplatform/log.conf \
    /usr/lib/nerqvrplatform/res/main_widget_cn.qml /usr/lib/nerqvrplatform/res/thumbicon.png \
    /usr/lib/nerqvrplatform/game/data_cn.json /usr/lib/nerqvrplatform/game/images/starfall.png \
    /usr/lib/nerqvrplatform/game/native/starfall.sh /usr/share/man/man1/nerq-catalogue.1.gz \
    /usr/share/applications/nerqvrplatform.desktop /usr/share/icons/hicolor/256x256/apps/nerqvrplatform.png \
    /usr/share/doc/nerqvrplatform/copyright /usr/share/doc/nerqvrplatform/changelog.gz \
    /usr/bin/nerq-station /usr/bin/nerq-venue /usr/lib/nerqvrplatform/nerq-station /usr/lib/nerqvrplatform/nerq-venue \
    /usr/lib/nerqvrplatform/console/index.html /usr/lib/nerqvrplatform/console/console.js \
    /usr/lib/systemd/user/nerq-station.service /usr/lib/systemd/user/graphical-session.target.wants/nerq-station.service \
    /usr/share/man/man1/nerq-station.1.gz /usr/share/man/man1/nerq-venue.1.gz \
    /usr/bin/nerq-headset /usr/lib/nerqvrplatform/nerq-headset /usr/lib/nerqvrplatform/res/headset/session_cn.qml \
    /usr/lib/nerqvrplatform/res/headset/Notice.qml /usr/lib/systemd/user/nerq-headset.service \
    /usr/lib/systemd/user/graphical-session.target.wants/nerq-headset.service /usr/share/man/man1/nerq-headset.1.gz \
    /usr/bin/nerq-recorder /usr/lib/nerqvrplatform/nerq-recorder /usr/share/man/man1/nerq-recorder.1.gz \
    /usr/lib/systemd/user/nerq-recorder@.service; do
    grep -q "^$expected\b" <<<"$contents" || fail "the package lacks $expected"
done
grep -q "^/usr/bin/nerqvrplatform -> ../lib/nerqvrplatform/nerqvrplatform.sh$" <<<"$contents" ||
    fail "/usr/bin/nerqvrplatform is not a relative link to the launcher"
grep -q "^/usr/bin/nerq-catalogue -> ../lib/nerqvrplatform/nerq-catalogue$" <<<"$contents" ||
    fail "/usr/bin/nerq-catalogue is not a relative link into the program's folder"
unwanted=$(grep -E "tst_|bench_|fuzz|nerq-grab|nerq-artgen|tests-bin|\.a$|vrsim-sdk" <<<"$contents")
[ -z "$unwanted" ] || fail "test, benchmark or build files in the package: $unwanted"

work=$(mktemp -d /tmp/nerq-package.XXXXXX)
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"
dpkg-deb -x "$deb" "$work/root"
leaks=$(grep -rlF -e "$root" -e "$package_build" "$work/root")
[ -z "$leaks" ] || fail "build paths in $leaks"
"$work/root/usr/bin/nerq-catalogue" --version || fail "the unpacked nerq-catalogue --version"
grep -q "^ Recommends: mosquitto" <<<"$info" || fail "the package does not recommend mosquitto"
for command in nerq-station nerq-venue nerq-headset nerq-recorder; do
    "$work/root/usr/bin/$command" --version || fail "the unpacked $command --version"
done
# The desk's broker serves a copy of the unpacked tree's page, wherever the tree lies.
"$work/root/usr/bin/nerq-venue" init "$work/venue" --host 127.0.0.1 >"$work/init.log" 2>&1 || fail "nerq-venue init: $(cat "$work/init.log")"
grep -qxF "http_dir $work/venue/page" "$work/venue/mosquitto.conf" ||
    fail "init's http_dir is not the venue's page/: $(grep http_dir "$work/venue/mosquitto.conf")"
for file in index.html console.js console.css; do
    cmp -s "$work/root/usr/lib/nerqvrplatform/console/$file" "$work/venue/page/$file" ||
        fail "the venue's page/$file is not the unpacked console/$file"
done

echo "== lintian"
lintian --fail-on error --tag-display-limit 0 "$deb" || fail "lintian reports errors"

runner=()
if [ "$(id -u)" -eq 0 ]; then
    runner=(setpriv --reuid=65534 --regid=65534 --clear-groups)
fi
echo "== the unpacked program, run as $("${runner[@]}" id -un)"
cmake -S "$root" -B "$build" -DNERQ_BUILD_TESTS=ON >/dev/null &&
    cmake --build "$build" --target tst_launcher nerq-grab vrsim_sdk -j "${NERQ_JOBS:-2}" >/dev/null ||
    fail "could not build the launcher test"
# Copies, so the user needs no access to the build tree.
mkdir -p "$work/tools" "$work/home" "$work/shots"
cp "$build/tests-bin/tst_launcher" "$build/bin/nerq-grab" "$work/tools/"
[ ${#runner[@]} -eq 0 ] || chown 65534:65534 "$work/home" "$work/shots"
if ! (cd "$work" && env HOME="$work/home" TMPDIR="$work/home" NERQ_INSTALL_PREFIX="$work/root/usr" \
    NERQ_TOOLS_DIR="$work/tools" NERQ_SCREENSHOT_DIR="$work/shots" NERQ_BLOCK_PREFIX="package-$$-" \
    "${runner[@]}" xvfb-run -a -s "-screen 0 1920x1080x24 -nolisten tcp -noreset" "$work/tools/tst_launcher"); then
    fail "the unpacked program"
fi
cp "$work/shots/installed-desktop.png" "$package_build/" 2>/dev/null && echo "screenshot: $package_build/installed-desktop.png"

# Debian's reproducible-builds checks build in other paths: the same commit, cloned under a name
# with a space and built in a folder outside the clone (as a package build may be), must give
# the same package. Only committed files reach the clone, so a changed checkout cannot match.
commit=$(git -C "$root" rev-parse --verify -q HEAD)
echo "== commit ${commit:-(none)} cloned and built again elsewhere"
clone="$work/checkout copy"
changes=$(git -C "$root" status --porcelain 2>/dev/null)
if [ -z "$commit" ]; then
    fail "$root is not a git checkout: no commit to clone"
elif [ -n "$changes" ]; then
    fail "the checkout has changes that are not committed, so its package is not $commit's: $changes"
elif git clone -q --no-checkout "$root" "$clone" && git -C "$clone" fetch -q "$root" "$commit" &&
    git -C "$clone" checkout -q --detach "$commit"; then
    # The page's npm packages are not in git: the same ones the lock file pins, taken from here.
    cp -a "$root/console/node_modules" "$clone/console/" || fail "cannot copy console/node_modules into the clone"
    again=$(package "$clone" "$work/package build" 2>"$work/again.log") || tail -30 "$work/again.log"
    if ! cmp "$deb" "$again"; then
        fail "the clone of $commit in \"$clone\" gives another package: $deb $again" \
            "(the clone is built from nothing; if $package_build was made by an older commit, remove it and run again)"
        # Which files differ: programs by their build ids, other files by their first differing lines.
        dpkg-deb -x "$again" "$work/again-root"
        differences=$(diff -rq "$work/root" "$work/again-root")
        grep '^Only in' <<<"$differences" | sed "s|$work/||; s/^/  /"
        sed -n 's|^Files \([^ ]*\) and \([^ ]*\) differ$|\1 \2|p' <<<"$differences" |
            while read -r here there; do
                if readelf -n "$here" >/dev/null 2>&1; then
                    echo "  ${here#"$work/root"}: $(readelf -n "$here" | sed -n 's/.*Build ID: //p') here," \
                        "$(readelf -n "$there" | sed -n 's/.*Build ID: //p') in the clone"
                else
                    echo "  ${here#"$work/root"}:"
                    diff "$here" "$there" | head -6 | sed 's/^/    /'
                fi
            done
    fi
    rm -rf "$clone" "$work/package build"
else
    fail "could not clone $commit into \"$clone\""
fi

echo "== the package against an SDK"
sdk_deb=$(package "$root" "$package_build-sdk" -DOPENVR_SDK_DIR="$build/vrsim-sdk" 2>"$work/sdk.log") || tail -30 "$work/sdk.log"
if [ -f "$sdk_deb" ]; then
    dpkg-deb -x "$sdk_deb" "$work/sdk-root"
    program_dir=$work/sdk-root/usr/lib/nerqvrplatform
    [ -f "$program_dir/libopenvr_api.so" ] || fail "the SDK's package lacks libopenvr_api.so"
    # An owner's first start shows the Steam scan's games alone.
    for catalogue in data_en.json data_cn.json; do
        [ "$(tr -d ' \n' <"$program_dir/game/$catalogue")" = "[]" ] ||
            fail "the SDK's package has games in $catalogue: $(head -c 200 "$program_dir/game/$catalogue")"
    done
    demo=$(cd "$program_dir/game" && find . -mindepth 1 ! -name data_en.json ! -name data_cn.json)
    [ -z "$demo" ] || fail "demo games in the SDK's package: $demo"
    leaks=$(grep -rlF -e "$root" -e "$build" "$work/sdk-root")
    [ -z "$leaks" ] || fail "build paths in $leaks"
    "$work/sdk-root/usr/bin/nerq-catalogue" --version >/dev/null || fail "the SDK's unpacked nerq-catalogue --version"
else
    fail "no package was built against the SDK-shaped folder"
fi

[ $status -eq 0 ] && echo "package: all checks passed"
exit $status
