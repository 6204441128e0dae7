#!/usr/bin/env bash
# The bash completion offers the program's options, the loaded formats, connectors and
# filters (names with spaces quoted whole), the section words and folders, from any folder.
#   completion_test.sh COMPLETION CLI PLUGINS
set -uo pipefail
completion=$1 cli=$2 plugins=$3
fail=0

# shellcheck source=/dev/null
source "$completion"

# complete WORD...: completes the last word of the line as bash would.
complete_line() {
    COMP_WORDS=("$@")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _tonebridge_cli
}

# expect "what" "wanted reply words" WORD...: every wanted word is among the replies.
expect() {
    local what=$1 wanted=$2
    shift 2
    complete_line "$@"
    local word reply found
    for word in $wanted; do
        word=${word//+/ }
        found=0
        for reply in "${COMPREPLY[@]}"; do
            [ "$reply" = "$word" ] && found=1
        done
        if [ "$found" -eq 0 ]; then
            echo "FAIL: $what: '$word' not offered; got: ${COMPREPLY[*]}" >&2
            fail=1
        fi
    done
}

# expect_none "what" WORD...: nothing is offered.
expect_none() {
    local what=$1
    shift
    complete_line "$@"
    if [ "${#COMPREPLY[@]}" -ne 0 ]; then
        echo "FAIL: $what: expected nothing, got: ${COMPREPLY[*]}" >&2
        fail=1
    fi
}

p=(--plugins "$plugins")
expect "long options" "--format --fit --fit-for --filter" "$cli" --f
expect "every long option" "--list-formats --list-plugins --plugins --dest --help --version" "$cli" --
expect "options after a file" "--connector" "$cli" tune.mid --con
expect "formats by extension" "gd75 gd85_95" "$cli" "${p[@]}" --format gd
expect "formats by name, any case" 'Panasonic\+GD75 Panasonic\+GD85/95' "$cli" "${p[@]}" -f pan
expect "a name begun with a quote" 'Panasonic\+GD75' "$cli" "${p[@]}" --format '"Panasonic G'
expect "--fit-for takes formats" "Midi mid" "$cli" "${p[@]}" --fit-for m
expect "connectors and none" 'Txt Txt\+to\+bin none' "$cli" "${p[@]}" --connector ""
expect "filters and none" 'Ringtone\+fit none' "$cli" "${p[@]}" --filter ""
expect "section words" "start hook" "$cli" --section ""
expect_none "numbers are not guessed" "$cli" --voices ""
expect_none "an unknown format prefix" "$cli" "${p[@]}" --format zzz

# Without --plugins the program's own folder is used: run from a folder with no plug-ins.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/out.d"
cd "$work" || exit 1
expect "folders for --dest" "out.d" "$cli" --dest o
: >"$work/tune.mid"
expect "files as arguments" "tune.mid" "$cli" --format gd75 t

# A connector listed twice (name and extension alike) is offered once.
complete_line "$cli" "${p[@]}" --connector t
lower=$(printf '%s\n' "${COMPREPLY[@]}" | tr '[:upper:]' '[:lower:]' | sort | uniq -d)
if [ -n "$lower" ]; then
    echo "FAIL: offered twice: $lower" >&2
    fail=1
fi

[ "$fail" -eq 0 ] && echo "completion: all cases passed"
exit "$fail"
