#!/usr/bin/env bash
# The manual page tells every long option that the program's --help tells, and both pages
# carry the sections the include files add.
#   man_page_test.sh CLI CLI_PAGE [GUI_PAGE]
set -euo pipefail
cli=$1 cli_page=$2 gui_page=${3:-}
pages=("$cli_page")
[ -n "$gui_page" ] && pages+=("$gui_page")
fail=0

# The page's text with roff's escapes and font changes taken out.
plain() { sed -e 's/\\-/-/g' -e 's/\\f[BIRP]//g' -e 's/\\(.. */ /g' "$1"; }

mapfile -t options < <("$cli" --help | grep -o -e '--[a-z][a-z-]*' | sort -u)
if [ "${#options[@]}" -lt 10 ]; then
    echo "FAIL: only ${#options[@]} long options found in --help" >&2
    exit 1
fi
page=$(plain "$cli_page")
for option in "${options[@]}"; do
    # Whole words: --fit is not found inside --fit-for.
    if ! grep -q -E -e "(^|[^a-z-])$option([^a-z-]|\$)" <<<"$page"; then
        echo "FAIL: $option is in --help but not in $cli_page" >&2
        fail=1
    fi
done

for section in NAME SYNOPSIS DESCRIPTION FILES "SEE ALSO"; do
    for p in "${pages[@]}"; do
        if ! grep -q -e "^\.SH \"\?$section\"\?$" "$p"; then
            echo "FAIL: no $section section in $p" >&2
            fail=1
        fi
    done
done
# The shared include file reaches both pages: the installed plug-in folder is named.
for p in "${pages[@]}"; do
    if ! grep -q /usr/lib/tonebridge/plugins <<<"$(plain "$p")"; then
        echo "FAIL: $p does not name the plug-in folder" >&2
        fail=1
    fi
done
version=$("$cli" --version | tail -n 1 | awk '{print $NF}')
if ! grep -q -e "^\.TH .*\"tonebridge-cli $version\"" "$cli_page"; then
    echo "FAIL: the page does not carry version $version" >&2
    fail=1
fi
[ "$fail" -eq 0 ] && echo "man page: ${#options[@]} options checked"
exit "$fail"
