#!/usr/bin/env bash
# Formats every C and C++ source kept in git with the repository's .clang-format
# (clang-format-14), or, with --check, lists the files that differ from it and fails.
#
#   scripts/format.sh [--check]
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

formatter="$(command -v clang-format-14 || command -v clang-format || true)"
if [ -z "$formatter" ]; then
  echo "format.sh: clang-format-14 is not installed (scripts/deps.sh installs it)" >&2
  exit 2
fi
mapfile -t files < <(git ls-files '*.c' '*.cpp' '*.h')

if [ "${1:-}" = "--check" ]; then
  bad=()
  for f in "${files[@]}"; do
    if ! "$formatter" --dry-run --Werror "$f" >/dev/null 2>&1; then
      bad+=("$f")
    fi
  done
  if [ ${#bad[@]} -ne 0 ]; then
    printf 'not formatted: %s\n' "${bad[@]}" >&2
    echo "format.sh: ${#bad[@]} file(s) differ from .clang-format; run scripts/format.sh" >&2
    exit 1
  fi
  echo "format.sh: ${#files[@]} files formatted"
  exit 0
fi
"$formatter" -i "${files[@]}"
