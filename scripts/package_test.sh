#!/usr/bin/env bash
# Builds the release Debian package and tries it as a user would: installed into a minimal
# Debian 12 root made with debootstrap (or, when no mirror can be reached, on this machine
# with dpkg -i and apt-get -f), then tonebridge-cli --list-formats from /usr/bin, the example
# melody converted to GD75, `man tonebridge-cli` showing the options, and the metainfo
# validated. Prints how long each stage took. Run as root.
#   scripts/package_test.sh [MIRROR]
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
repo=$(pwd)
mirror=${1:-http://deb.debian.org/debian}
build=build/package
root=$repo/build/package-root
start=$(date +%s)
stage_start=$start

stage_done() {
    local now
    now=$(date +%s)
    echo "== $1: $((now - stage_start)) s"
    stage_start=$now
}

# shellcheck source=scripts/deps.sh
source scripts/deps.sh
tonebridge_install_deps

echo "== release build and package"
cmake --preset release -B "$build" -DTONEBRIDGE_BUILD_TESTS=OFF -DTONEBRIDGE_BUILD_BENCH=OFF
nice cmake --build "$build"
rm -rf "$build/packages"
(cd "$build" && cpack -G DEB)
deb=$(ls "$repo/$build"/packages/tonebridge_*.deb)
dpkg-deb -f "$deb" Depends Recommends
stage_done "build and package"

# run CMD...: runs a command where the package is installed (in the root, or here).
in_root=0
run() {
    if [ "$in_root" -eq 1 ]; then
        chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 "$@"
    else
        "$@"
    fi
}

cleanup() {
    if [ "$in_root" -eq 1 ]; then
        umount "$root/proc" 2>/dev/null || true
    fi
}
trap cleanup EXIT

echo "== installing"
rm -rf "$root"
if command -v debootstrap >/dev/null &&
    debootstrap --variant=minbase bookworm "$root" "$mirror" >"$repo/build/debootstrap.log" 2>&1; then
    in_root=1
    mount -t proc proc "$root/proc"
    cp "$deb" "$root/tmp/"
    cp examples/tune.mid "$root/tmp/"
    stage_done "debootstrap (minimal Debian 12)"
    # Documentation is kept, so that man finds the page (minbase installs everything).
    run env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends \
        "/tmp/$(basename "$deb")" man-db >"$repo/build/package-install.log" 2>&1 ||
        { tail -n 30 "$repo/build/package-install.log"; exit 1; }
    work=/tmp
else
    echo "debootstrap could not make a root (see build/debootstrap.log): installing here"
    dpkg -i "$deb" || DEBIAN_FRONTEND=noninteractive apt-get -f install -y --no-install-recommends
    work=$(mktemp -d)
    cp examples/tune.mid "$work/"
fi
stage_done "install the package and its dependencies"

fail=0
check() {
    local what=$1
    shift
    if "$@"; then
        echo "ok: $what"
    else
        echo "FAIL: $what" >&2
        fail=1
    fi
}

formats=$(cd / && run /usr/bin/tonebridge-cli --list-formats)
echo "$formats"
check "--list-formats names the GD75 format" grep -q "Panasonic GD75" <<<"$formats"
check "--list-formats names the audio formats" grep -q "\.wav" <<<"$formats"
check "converts the example to GD75" run /usr/bin/tonebridge-cli --format gd75 "$work/tune.mid"
check "the GD75 file starts with DH" run sh -c "head -c 2 '$work/tune.gd75' | grep -q DH"
check "converts it back to MIDI" run /usr/bin/tonebridge-cli --format Midi --dest "$work" \
    "$work/tune.gd75"
# Without a terminal man writes plain text; any overstrike left is taken out.
page=$(run env MANWIDTH=100 man tonebridge-cli 2>/dev/null | sed 's/.\x08//g' || true)
for option in $(run /usr/bin/tonebridge-cli --help | grep -o -e '--[a-z][a-z-]*' | sort -u); do
    grep -q -e "$option" <<<"$page" || { echo "FAIL: man tonebridge-cli lacks $option" >&2; fail=1; }
done
check "man tonebridge-cli shows the options" grep -q -e "--list-formats" <<<"$page"
check "man tonebridge finds the desktop program's page" run man -w tonebridge
prefix=""
[ "$in_root" -eq 1 ] && prefix=$root
check "appstreamcli validate passes" \
    appstreamcli validate --no-net "$prefix/usr/share/metainfo/org.tonebridge.Tonebridge.metainfo.xml"
check "the completion is installed" test -f "$prefix/usr/share/bash-completion/completions/tonebridge-cli"
check "the MIME types are installed" test -f "$prefix/usr/share/mime/packages/tonebridge.xml"
stage_done "checks"

echo "== package test: $(($(date +%s) - start)) s in all"
if [ "$fail" -eq 0 ]; then
    cleanup
    in_root=0
    rm -rf "$root" # kept only when something failed, to look into
    echo "package test: 1 passed, 0 failed"
else
    echo "package test: 0 passed, 1 failed"
fi
exit "$fail"
