#!/usr/bin/env bash
# Cross-builds the win64 preset with MinGW-w64 and runs its tests under Wine (a private,
# headless Wine prefix in build/win64), packs the Windows zip (cpack -G ZIP) and checks that
# the CLI unpacked from it writes the same GD75 stream as the Linux one for
# examples/tune.mid; then, when Wine can run 32-bit programs (wine32), does the same for the
# win32 preset (__stdcall entry points) with its settings-store test.
# Usage: scripts/wine_test.sh [--cli-only]
# --cli-only builds only the CLIs and the plug-ins and makes the comparisons.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$ROOT"

PRESET=win64
BUILD="build/$PRESET"
export WINEPREFIX="$ROOT/$BUILD/wineprefix"
export WINEDEBUG=-all
export WINEARCH=win64
# Headless: no display, and no Mono or Gecko installer dialogs when the prefix is made.
export DISPLAY=
export WINEDLLOVERRIDES="mscoree,mshtml=d"

NICE=(nice -n 10)

echo "== win64: configure and build"
cmake --preset "$PRESET" >/dev/null
# The test programs that build for Windows; cli_end_to_end_tests and text_formats_cli_tests
# run the Windows CLI itself (what only POSIX has -- FIFOs, devices, permission bits,
# signals -- is tried on Linux only). Left out, each for its reason:
#  - core_tests, safe_output_test: written against POSIX (mkfifo, setenv, mount namespaces)
#    and do not compile for Windows yet.
#  - the packaging checks (desktop files, manual page, shell completion): shell scripts that
#    start the CLI directly, so Linux only.
#  - the audio coders (need libfluidsynth and libsndfile) and the desktop program (needs
#    Qt): not built for Windows at all.
TARGETS=(tonebridge-cli tonebridge_plugins melody_common_test lsp_decoder_test lsp_writer_test
  ringtone_fit_test
  alloc_failure_test findings_test concurrency_test preview_during_batch_test cli_tests
  text_formats_test midi_file_test hex_test song_tools_test gd_plugins_test settings_store_test
  midi_decode_replay lsp_decode_replay text_to_binary_replay lsp_code_replay
  lsp_roundtrip_replay file_name_replay ringtone_fit_replay rtttl_decode_replay
  imelody_decode_replay cli_end_to_end_tests text_formats_cli_tests)
CLI_ONLY=0
if [ "${1:-}" = "--cli-only" ]; then
  CLI_ONLY=1
  TARGETS=(tonebridge-cli tonebridge_plugins)
fi
"${NICE[@]}" cmake --build "$BUILD" --target "${TARGETS[@]}"

# A prefix made before wine32 was installed has no 32-bit half, and the wine32 loader then
# cannot start anything in it: make it again.
WINE32_LOADER=/usr/lib/wine/wine
make_prefix() {
  if [ -f "$WINEPREFIX/system.reg" ] && { [ ! -x "$WINE32_LOADER" ] ||
    [ -d "$WINEPREFIX/drive_c/windows/syswow64" ] || [ "$WINEARCH" = win32 ]; }; then
    return
  fi
  wineserver -k 2>/dev/null || true
  rm -rf "$WINEPREFIX"
  wineboot --init >/dev/null 2>&1
  wineserver --wait
}

echo "== win64: Wine prefix"
make_prefix

if [ "$CLI_ONLY" = 0 ]; then
  echo "== win64: tests under Wine"
  # Every test case carries its program's name as a label: run the cases of the programs
  # built above and no others (the rest would be reported as not built).
  labels="^($(IFS='|'; echo "${TARGETS[*]}"))\$"
  # Wine's launcher now and then fails to start a program at all ("ShellExecuteEx failed:
  # Internal error", about one full run in ten): a case that fails runs once more, and a
  # real failure fails both times.
  "${NICE[@]}" ctest --preset "$PRESET" -j2 --output-on-failure --no-tests=error -L "$labels" \
    --repeat until-pass:2
fi

if [ ! -x build/dev/stage/tonebridge-cli ]; then
  cmake --preset dev >/dev/null
  "${NICE[@]}" cmake --build build/dev --target tonebridge-cli tonebridge_plugins
fi
work="$(mktemp -d "$ROOT/build/wine-compare.XXXXXX")"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/linux"
build/dev/stage/tonebridge-cli --format gd75 --dest "$work/linux" examples/tune.mid >/dev/null

# compare_cli NAME DIR: the CLI in DIR (its plug-ins beside it) writes the Linux build's bytes.
compare_cli() {
  mkdir -p "$work/$1"
  (cd "$2" &&
    wine tonebridge-cli.exe --format gd75 --dest "$(winepath -w "$work/$1")" \
      "$(winepath -w "$ROOT/examples/tune.mid")" >/dev/null)
  cmp "$work/linux/tune.gd75" "$work/$1/tune.gd75"
  echo "$1: identical, $(stat -c %s "$work/linux/tune.gd75") bytes"
}

echo "== win64: the zip, unpacked, writes the Linux build's GD75 stream for examples/tune.mid"
(cd "$BUILD" && cpack -G ZIP >/dev/null)
zip="$(ls "$BUILD"/packages/tonebridge-*-windows-*.zip)"
mkdir -p "$work/unpacked"
(cd "$work/unpacked" && cmake -E tar xf "$ROOT/$zip")
echo "$(basename "$zip"): $(cd "$work/unpacked" && find . -type f | wc -l) files"
compare_cli win64 "$(ls -d "$work"/unpacked/tonebridge-*)"
wineserver --wait

echo "== win32: 32-bit build (__stdcall entry points)"
if [ ! -x "$WINE32_LOADER" ]; then
  echo "skipped: Wine cannot run 32-bit programs here (install wine32:i386, see scripts/deps.sh)"
  exit 0
fi
PRESET=win32
BUILD="build/$PRESET"
export WINEPREFIX="$ROOT/$BUILD/wineprefix"
export WINEARCH=win32
cmake --preset "$PRESET" >/dev/null
"${NICE[@]}" cmake --build "$BUILD" --target tonebridge-cli tonebridge_plugins settings_store_test
make_prefix
if [ "$CLI_ONLY" = 0 ]; then
  "${NICE[@]}" ctest --preset "$PRESET" --output-on-failure --no-tests=error -L '^settings_store_test$'
fi
compare_cli win32 "$BUILD/stage"
wineserver --wait
