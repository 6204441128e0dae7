# Bash completion for tonebridge-cli.
# The options are read from the program's own --help and the format, connector and filter
# names from its listings when a word is completed, so they always match the program and the
# plug-ins it loads (a --plugins folder earlier on the line is honoured).

# Prints the words of one listing, one a line: formats (names and extensions without the
# point), connectors (names and extensions) or filters (names).
_tonebridge_cli_names() {
    local kind=$1
    shift
    case $kind in
    formats | connectors)
        local head='Formats ('
        [ "$kind" = connectors ] && head='Connectors ('
        "$@" --list-formats 2>/dev/null | awk -v head="$head" '
            index($0, head) == 1 { on = 1; next }
            /^[^ ]/ { on = 0 }
            on && /^  [^ ]/ {
                line = substr($0, 3)
                # "Name with spaces  0x2000002   .gd75  (note)": the name ends where two
                # spaces start; the identifier and the extension follow.
                split(line, parts, /  +/)
                print parts[1]
                for (i = 2; i in parts; i++) {
                    if (parts[i] ~ /^\./) { print substr(parts[i], 2); break }
                }
            }' | awk '!seen[tolower($0)]++'
        ;;
    filters)
        "$@" --list-plugins 2>/dev/null | sed -n 's/^Filter \(.*\) :$/\1/p'
        ;;
    esac
}

_tonebridge_cli() {
    local cur prev
    cur=${COMP_WORDS[COMP_CWORD]}
    prev=""
    [ "$COMP_CWORD" -gt 0 ] && prev=${COMP_WORDS[COMP_CWORD - 1]}

    # The program being completed, with the plug-in folder the line names, if any.
    local -a program=("${COMP_WORDS[0]}")
    local i
    for ((i = 1; i < COMP_CWORD; i++)); do
        if [ "${COMP_WORDS[i]}" = --plugins ] && [ $((i + 1)) -lt "$COMP_CWORD" ]; then
            program+=(--plugins "${COMP_WORDS[i + 1]}")
        elif [[ ${COMP_WORDS[i]} == --plugins=* ]]; then
            program+=(--plugins "${COMP_WORDS[i]#--plugins=}")
        fi
    done
    # A leading ~/ is the only expansion done on the typed program name (never eval).
    if [[ ${program[0]} == "~/"* ]]; then
        program[0]=$HOME/${program[0]#"~/"}
    fi

    local words
    case $prev in
    -f | --format | --fit-for) words=$(_tonebridge_cli_names formats "${program[@]}") ;;
    -c | --connector) words=$(_tonebridge_cli_names connectors "${program[@]}")$'\n'none ;;
    --filter) words=$(_tonebridge_cli_names filters "${program[@]}")$'\n'none ;;
    --section) words=$'start\nhook' ;;
    -d | --dest | --plugins)
        COMPREPLY=()
        local dir
        while IFS= read -r dir; do
            COMPREPLY+=("$dir")
        done < <(compgen -d -- "$cur")
        compopt -o filenames 2>/dev/null
        return 0
        ;;
    --track | --voices | --transpose)
        COMPREPLY=()
        return 0
        ;;
    esac

    COMPREPLY=()
    local word
    if [ -n "${words+set}" ]; then
        # Names may hold spaces: offer each whole, quoted for the command line; what is
        # typed so far is compared without its quoting and without regard to case.
        local typed=${cur//\\/}
        typed=${typed#[\"\']}
        while IFS= read -r word; do
            [ -n "$word" ] || continue
            if [[ ${word,,} == "${typed,,}"* ]]; then
                COMPREPLY+=("$(printf '%q' "$word")")
            fi
        done <<<"$words"
        return 0
    fi

    if [[ $cur == -* ]]; then
        while IFS= read -r word; do
            COMPREPLY+=("$word")
        done < <(compgen -W "$("${program[@]}" --help 2>/dev/null |
            grep -o -e '--[a-z][a-z-]*' | sort -u)" -- "$cur")
        return 0
    fi

    while IFS= read -r word; do
        COMPREPLY+=("$word")
    done < <(compgen -f -- "$cur")
    compopt -o filenames 2>/dev/null
    return 0
}

complete -F _tonebridge_cli tonebridge-cli
