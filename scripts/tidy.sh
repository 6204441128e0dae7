#!/usr/bin/env bash
# Runs clang-tidy with the checks of .clang-tidy (every finding an error) on the C++ sources
# of the dev build's compilation database.
#   scripts/tidy.sh            the sources changed since origin/main, or since HEAD~1 without it
#   scripts/tidy.sh BASE       the sources changed since the git revision BASE
#   scripts/tidy.sh --all      every source (what CI runs)
# Exits non-zero when any check reports a finding.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$ROOT"

TIDY="$(command -v clang-tidy-14 || command -v clang-tidy || true)"
if [ -z "$TIDY" ]; then
  echo "tidy: clang-tidy is not installed (apt-get install clang-tidy)" >&2
  exit 2
fi
if [ ! -f build/dev/compile_commands.json ]; then
  cmake --preset dev >/dev/null
fi

# Only sources the dev build compiles have the flags clang-tidy needs.
mapfile -t known < <(python3 -c '
import json, os, sys
root = sys.argv[1]
for entry in json.load(open(os.path.join(root, "build/dev/compile_commands.json"))):
    path = os.path.relpath(entry["file"], root)
    if not path.startswith("build/"):
        print(path)' "$ROOT" | sort -u)

if [ "${1:-}" = "--all" ]; then
  files=("${known[@]}")
else
  base="${1:-}"
  if [ -z "$base" ]; then
    base="$(git rev-parse -q --verify origin/main || git rev-parse HEAD~1)"
  fi
  mapfile -t changed < <(git diff --name-only --diff-filter=d "$(git merge-base "$base" HEAD)" -- '*.cpp' '*.c' | sort -u)
  mapfile -t files < <(comm -12 <(printf '%s\n' "${known[@]}") <(printf '%s\n' "${changed[@]}"))
fi

if [ "${#files[@]}" -eq 0 ] || [ -z "${files[0]}" ]; then
  echo "tidy: no source to check"
  exit 0
fi
echo "tidy: ${#files[@]} source(s)"
start=$SECONDS
jobs="$(nproc 2>/dev/null || echo 2)"
if printf '%s\n' "${files[@]}" | xargs -P "$jobs" -n 4 "$TIDY" -p build/dev --quiet 2>&1 |
    grep -E "(error|warning):" ; then
  echo "tidy: findings above" >&2
  exit 1
fi
echo "tidy: clean ($((SECONDS - start)) s)"
