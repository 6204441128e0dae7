#!/usr/bin/env bash
# Makes docs/screenshot.png: runs the staged desktop program on a virtual X display, adds the
# example melodies (and one broken file, to show a failed row), converts them to GD75 ringtones
# in hexadecimal text, and saves a picture of the main window.
#
#   scripts/screenshot.sh [BUILD_DIR] [OUTPUT_PNG]     (defaults: build/dev, docs/screenshot.png)
#
# The program's hidden option "--screenshot FILE" does the work: once the plug-ins are loaded
# and the files named on the command line are listed, it converts them, grabs the window into
# FILE and quits. Needs xvfb-run and xauth (apt-get install xvfb xauth).
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$repo/build/dev}
out=$(realpath -m "${2:-$repo/docs/screenshot.png}")
stage=$build/stage

if [ ! -x "$stage/tonebridge" ]; then
    echo "error: $stage/tonebridge not found; build first (cmake --preset dev && cmake --build --preset dev)" >&2
    exit 1
fi
if ! command -v xvfb-run >/dev/null; then
    echo "error: xvfb-run not found (apt-get install xvfb xauth)" >&2
    exit 1
fi

work=$(mktemp -d -t ringtones.XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/melodies" "$work/data" "$work/runtime" "$work/config/Larkspur/Chimewright"
chmod 700 "$work/runtime"
cp "$repo"/examples/*.mid "$work/melodies/"
printf 'not a MIDI file at all\n' > "$work/melodies/broken.mid"

# Settings of a user who chose the GD75 format and the hexadecimal text connector; outputs go
# beside the sources, in the temporary folder.
cat > "$work/config/Larkspur/Chimewright/4.10.reg" <<REG
REGEDIT4

[HKEY_CURRENT_USER\\Software\\Larkspur\\Chimewright\\4.10]
"select"=dword:00000000
"destdir"=""
"coderdllid"=dword:02000002
"srcdir"="$work/melodies"
"connectordllid"=dword:03000001
"lauchconnector"=dword:00000001
REG

mkdir -p "$(dirname "$out")"
cd "$stage"
XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" XDG_RUNTIME_DIR="$work/runtime" \
    QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x1024x24" \
    ./tonebridge --screenshot "$out" "$work"/melodies/*
echo "wrote $out"
