# bash completion for wavoryctl. Commands, options and option values come from the program's own
# --help, so they stay in step with it; profile names and the SSIDs of the adapter's last scan come
# from "wavoryctl complete profiles|ssids", which only reads.

# Help entries of one section ("Options", "Subcommands", "Positionals"): the first two words of
# each entry line.
_wavoryctl_entries() {
    local section=$1 line in=
    while IFS= read -r line; do
        if [[ $line =~ ^([A-Za-z]+):$ ]]; then
            [[ ${BASH_REMATCH[1]} == "$section" ]] && in=1 || in=
        elif [[ -z $line ]]; then
            in=
        elif [[ -n $in && $line =~ ^\ \ ([^ ]+)(\ +([^ ]+))? ]]; then
            printf '%s %s\n' "${BASH_REMATCH[1]}" "${BASH_REMATCH[3]}"
        fi
    done <<<"$2"
}

# The type word of an option ("TEXT:{network,ap}", "INT:INT"), empty for a flag.
_wavoryctl_option_type() {
    local name=$1 help entry names type n
    shift
    for help in "$@"; do
        while read -r names type; do
            names=${names%%\{*}
            for n in ${names//,/ }; do
                if [[ $n == "$name" ]]; then
                    [[ $type =~ ^[A-Z]+(:|$) ]] && printf '%s\n' "$type"
                    return 0
                fi
            done
        done < <(_wavoryctl_entries Options "$help")
    done
    return 1
}

# Offers the words of standard input (one a line) that start with the current word, quoted for
# the shell, so that names with blanks or quotes come out whole. (Fed by redirection, never by a
# pipe: a function at the end of a pipe runs in a subshell, and its COMPREPLY would be lost.)
_wavoryctl_offer() {
    local cur=$1 word
    cur=${cur#[\"\']}
    cur=${cur//\\/}
    while IFS= read -r word; do
        [[ -n $word && $word == "$cur"* ]] && COMPREPLY+=("$(printf '%q' "$word")")
    done
}

# Values for an option or a positional argument of type `type` named `name`.
_wavoryctl_values() {
    local name=$1 type=$2 cur=$3
    local -a prog=("${@:4}")
    if [[ $type =~ :\{([^}]*)\} ]]; then
        _wavoryctl_offer "$cur" < <(tr ',' '\n' <<<"${BASH_REMATCH[1]}")
        return
    fi
    case $name in
        --profile | profile) _wavoryctl_offer "$cur" < <("${prog[@]}" complete profiles 2>/dev/null) ;;
        --ssid) _wavoryctl_offer "$cur" < <("${prog[@]}" complete ssids 2>/dev/null) ;;
        --adapter) _wavoryctl_offer "$cur" < <(
            echo sim
            for dir in /sys/class/net/*/wireless; do
                [[ -d $dir ]] && basename "${dir%/wireless}"
            done
        ) ;;
        file | --*-file) compopt -o filenames 2>/dev/null; COMPREPLY=($(compgen -f -- "$cur")) ;;
    esac
}

_wavoryctl() {
    COMPREPLY=()
    local cur=${COMP_WORDS[COMP_CWORD]} prog=${COMP_WORDS[0]}
    [[ $prog == "~/"* ]] && prog=$HOME/${prog#"~/"}
    local top help
    top=$("$prog" --help 2>/dev/null) || return 0
    help=$top

    # Walk the words before the current one: the chain of commands, options and their values.
    local -a path=() run=("$prog")
    local i word type pending= positionals=0
    for ((i = 1; i < COMP_CWORD; i++)); do
        word=${COMP_WORDS[i]}
        if [[ -n $pending ]]; then
            [[ $pending == --adapter ]] && run+=(--adapter "$word")
            pending=
        elif [[ $word == -* ]]; then
            [[ $word != *=* ]] && type=$(_wavoryctl_option_type "$word" "$help" "$top") && [[ -n $type ]] &&
                pending=$word
            [[ $word == --adapter=* ]] && run+=("$word")
        elif _wavoryctl_entries Subcommands "$help" | cut -d' ' -f1 | grep -qxF -- "$word"; then
            path+=("$word")
            help=$("$prog" "${path[@]}" --help 2>/dev/null)
            positionals=0
        else
            positionals=$((positionals + 1))
        fi
    done

    # A value after an option, given apart or with "=".
    if [[ -n $pending ]]; then
        _wavoryctl_values "$pending" "$(_wavoryctl_option_type "$pending" "$help" "$top")" "$cur" "${run[@]}"
        return 0
    fi
    if [[ $cur == --*=* ]]; then
        local option=${cur%%=*}
        type=$(_wavoryctl_option_type "$option" "$help" "$top") || return 0
        _wavoryctl_values "$option" "$type" "${cur#*=}" "${run[@]}"
        local k
        for k in "${!COMPREPLY[@]}"; do COMPREPLY[k]=$option=${COMPREPLY[k]}; done
        return 0
    fi

    if [[ $cur == -* ]]; then
        _wavoryctl_offer "$cur" < <(
            {
                _wavoryctl_entries Options "$help"
                _wavoryctl_entries Options "$top"
            } | while read -r names type; do
                names=${names%%\{*}
                tr ',' '\n' <<<"$names"
            done | sort -u
        )
        return 0
    fi

    local commands
    commands=$(_wavoryctl_entries Subcommands "$help" | cut -d' ' -f1)
    if [[ -n $commands ]]; then
        _wavoryctl_offer "$cur" <<<"$commands"
        return 0
    fi
    # The positional argument in this place, by its name ("profile", "file", "name").
    local entry
    entry=$(_wavoryctl_entries Positionals "$help" | sed -n "$((positionals + 1))p")
    [[ -z $entry ]] && entry=$(_wavoryctl_entries Positionals "$help" | tail -n 1)
    [[ -n $entry ]] && _wavoryctl_values "${entry%% *}" "${entry#* }" "$cur" "${run[@]}"
    return 0
}

complete -F _wavoryctl wavoryctl
