#!/usr/bin/env bash
# The desktop entry and the metainfo validate, and the MIME types recognise real GD75,
# GD85/95 and iMelody files by their content alone, and the desktop entry opens each type.
#   desktop_files_test.sh PACKAGING_DIR CLI PLUGINS EXAMPLE_MID
set -uo pipefail
dir=$1 cli=$2 plugins=$3 example=$4
for tool in appstreamcli desktop-file-validate update-mime-database gio; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool not installed"; exit 77; }
done
fail=0
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

appstreamcli validate --no-net "$dir/tonebridge.metainfo.xml" || fail=1
desktop-file-validate "$dir/tonebridge.desktop" || fail=1

mkdir -p "$work/data/mime/packages"
cp "$dir/tonebridge-mime.xml" "$work/data/mime/packages/tonebridge.xml"
update-mime-database "$work/data/mime" || fail=1

# Real files from the shipped plug-ins, then copied to names without an extension.
cp "$example" "$work/tune.mid"
for format in gd75 gd85_95 imy; do
    "$cli" --plugins "$plugins" --format "$format" --fit "$work/tune.mid" >/dev/null || fail=1
done
type_of() {
    XDG_DATA_HOME="$work/data" XDG_DATA_DIRS=/usr/share gio info -a standard::content-type "$1" |
        sed -n 's/^ *standard::content-type: //p'
}
for pair in gd75:audio/x-gd75 gd85_95:audio/x-gd85-95 imy:text/x-iMelody; do
    ext=${pair%%:*} want=${pair#*:}
    cp "$work/tune.$ext" "$work/noext_$ext"
    for file in "$work/tune.$ext" "$work/noext_$ext"; do
        got=$(type_of "$file")
        if [ "$got" != "$want" ]; then
            echo "FAIL: $(basename "$file") is '$got', not $want" >&2
            fail=1
        fi
    done
    if ! grep -q "^MimeType=.*$want;" "$dir/tonebridge.desktop"; then
        echo "FAIL: the desktop entry does not open $want" >&2
        fail=1
    fi
done
# A GD stream of the other model is not taken for this one, and plain text is no ringtone.
printf 'DH\x12\x02\x03\x00' >"$work/gd95_like"
printf 'hello\n' >"$work/plain"
[ "$(type_of "$work/gd95_like")" = audio/x-gd85-95 ] || { echo "FAIL: GD85/95 magic" >&2; fail=1; }
[ "$(type_of "$work/plain")" = text/plain ] || { echo "FAIL: plain text is $(type_of "$work/plain")" >&2; fail=1; }
printf 'RTTTL:d=4,o=5,b=100:c\n' >"$work/x.rtttl"
[ "$(type_of "$work/x.rtttl")" = text/x-rtttl ] || { echo "FAIL: .rtttl glob" >&2; fail=1; }
grep -q '^MimeType=.*audio/midi;' "$dir/tonebridge.desktop" || { echo "FAIL: audio/midi" >&2; fail=1; }

[ "$fail" -eq 0 ] && echo "desktop files: all checks passed"
exit "$fail"
