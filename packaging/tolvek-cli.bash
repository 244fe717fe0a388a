# bash completion for tolvek-cli: options, formats, file names and the chip
# names of the chip data the command line would read.

_tolvek_cli() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
    local program=${COMP_WORDS[0]/#\~/$HOME}
    # "--chip=16F" arrives as "--chip", "=", "16F"
    if [[ $cur == = ]]; then
        cur=
    elif [[ $prev == = && $COMP_CWORD -ge 2 ]]; then
        prev=${COMP_WORDS[COMP_CWORD - 2]}
    fi

    case $prev in
        -p | --chip)
            local i word names name key lower
            local -a chipdat=()
            for ((i = 1; i < COMP_CWORD; i++)); do
                word=${COMP_WORDS[i]}
                if [[ $word == -c || $word == --chipdat ]]; then
                    [[ ${COMP_WORDS[i + 1]} == = ]] && ((i++))
                    chipdat=(--chipdat "${COMP_WORDS[i + 1]/#\~/$HOME}")
                elif [[ $word == --no-chipdat ]]; then
                    return
                fi
            done
            names=$("$program" "${chipdat[@]}" --list-chips 2>/dev/null)
            # the names match as --chip does: any case, with or without "p"/"pic"
            key=${cur,,}
            [[ $key =~ ^p(ic)?([0-9].*)?$ ]] && key=${BASH_REMATCH[2]}
            COMPREPLY=()
            for name in $names; do
                lower=${name,,}
                [[ $lower == "$key"* ]] && COMPREPLY+=("$name")
            done
            return
            ;;
        -f | --format)
            mapfile -t COMPREPLY < <(compgen -W "inhx8m inhx8s inhx32" -- "$cur")
            return
            ;;
        -c | --chipdat | -o | --output)
            compopt -o filenames 2>/dev/null
            mapfile -t COMPREPLY < <(compgen -f -- "$cur")
            return
            ;;
    esac

    if [[ $cur == -* ]]; then
        # the options as the program's own help lists them
        mapfile -t COMPREPLY < <(compgen -W "$("$program" --help 2>/dev/null |
            grep -oE -- '(^|[ ,])--?[a-zA-Z][a-zA-Z0-9-]*' | tr -d ' ,' | sort -u)" -- "$cur")
        return
    fi
    compopt -o filenames 2>/dev/null
    mapfile -t COMPREPLY < <(compgen -f -- "$cur")
}
complete -F _tolvek_cli tolvek-cli
