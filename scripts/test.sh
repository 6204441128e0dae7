#!/usr/bin/env bash
# Builds and runs every test: the dev preset (warnings as errors), then the
# AddressSanitizer/UndefinedBehaviorSanitizer preset.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# shellcheck source=scripts/deps.sh
source "$ROOT/scripts/deps.sh"
tonebridge_install_deps

cd "$ROOT"

# The desktop program's tests need a display; without one, run them on a virtual one.
run_ctest() {
  if [ -z "${DISPLAY:-}" ] && command -v xvfb-run >/dev/null 2>&1; then
    xvfb-run -a ctest "$@"
  else
    ctest "$@"
  fi
}

for preset in dev asan; do
  echo "== $preset"
  cmake --preset "$preset"
  cmake --build --preset "$preset"
  run_ctest --preset "$preset"
done
