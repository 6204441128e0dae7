#!/usr/bin/env bash
# Builds Tonebridge with the release preset and shows tonebridge-cli at work: an example
# melody converted to a GD75 ringtone and back to MIDI, then the command's help; with a
# display, it then opens the desktop program with the example melody in its list.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# shellcheck source=scripts/deps.sh
source "$ROOT/scripts/deps.sh"
tonebridge_install_deps

cd "$ROOT"
cmake --preset release
cmake --build --preset release

STAGE="$ROOT/build/release/stage"
DEMO="$ROOT/build/release/demo"
rm -rf "$DEMO"
mkdir -p "$DEMO/midi"
cp examples/tune.mid "$DEMO/"

# Run from the staged tree, whose "plugins" folder holds every plug-in.
cd "$STAGE"
echo
echo "== MIDI to GD75: $DEMO/tune.mid"
./tonebridge-cli --format "Panasonic GD75" "$DEMO/tune.mid"
echo
echo "== GD75 to MIDI: $DEMO/tune.gd75"
./tonebridge-cli --format Midi --dest "$DEMO/midi" "$DEMO/tune.gd75"
echo
./tonebridge-cli --help

# ---- Desktop program -------------------------------------------------------------------
# With a display, open the desktop program from the staged tree (its plug-ins beside it) with
# the example melody already in its list; without one, the command-line demo above is all.
echo
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "== Starting the desktop program: $STAGE/tonebridge"
  exec ./tonebridge "$DEMO/tune.mid"
else
  echo "No display: the desktop program $STAGE/tonebridge was built but not started."
fi
