#!/usr/bin/env bash
# Runs every non-GUI test program of a build under valgrind memcheck: no invalid reads or
# writes, no definite or indirect leaks. The GUI tests are left to the asan preset (Qt's own
# start-up is slow and noisy under valgrind).
#
#   scripts/memcheck.sh [BUILD_DIR]      (default build/dev; build it first)
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${1:-$ROOT/build/dev}"
SUPP="$ROOT/tests/valgrind.supp"
command -v valgrind >/dev/null || { echo "valgrind not found (apt-get install valgrind)" >&2; exit 2; }

XDG_CONFIG_HOME="$(mktemp -d)"
export XDG_CONFIG_HOME
trap 'rm -rf "$XDG_CONFIG_HOME"' EXIT

failed=0
while IFS= read -r test; do
  name="$(basename "$test")"
  case "$name" in gui_tests) continue ;; esac
  log="$BUILD/memcheck-$name.log"
  if (cd "$(dirname "$test")" && valgrind -q --error-exitcode=99 --leak-check=full \
        --errors-for-leak-kinds=definite,indirect --suppressions="$SUPP" \
        "./$name" --gtest_brief=1 >"$log" 2>&1); then
    echo "clean   $name"
  else
    echo "FAILED  $name (see $log)"
    failed=1
  fi
done < <(find "$BUILD" -type f -perm -u+x \( -name '*_test' -o -name '*_tests' \) -not -path '*/CMakeFiles/*' | sort)
exit "$failed"
