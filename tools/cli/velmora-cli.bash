# bash completion for velmora-cli. The commands and their options are read
# from the program's own --help, so new ones complete without changes here.
# shellcheck disable=SC2207 # COMPREPLY=($(compgen ...)) is how completions are written

_velmora_cli() {
    local cur prev words cword split
    _init_completion -s || return

    local program=${words[0]} command="" i
    for ((i = 1; i < cword; i++)); do
        if [[ ${words[i]} != -* ]]; then
            command=${words[i]}
            break
        fi
    done

    if [[ -z $command ]]; then
        local help commands options
        help=$("$program" --help 2>/dev/null)
        commands=$(sed -n '/^Commands:/,/^[^ ]/s/^  \([a-z][a-z-]*\).*/\1/p' <<<"$help")
        options=$(sed -n 's/^  \(--[a-z][a-z-]*\).*/\1/p' <<<"$help")
        COMPREPLY=($(compgen -W "$commands $options --help --version" -- "$cur"))
        return
    fi

    local help
    help=$("$program" "$command" --help 2>/dev/null) || return

    # The value an option takes is named after it in the help: "--port P".
    if [[ $prev == -* ]]; then
        local value
        value=$(sed -n "s/^  ${prev}[ =]\([^ ]*\).*/\1/p" <<<"$help" | head -n 1)
        case $value in
            FILE) _filedir; return ;;
            ZONE)
                COMPREPLY=($(compgen -W "$(cd /usr/share/zoneinfo 2>/dev/null &&
                    find . -type f -name '[A-Z]*' ! -name '*.tab' |
                    sed 's|^\./||' | grep -v '^posix/\|^right/')" -- "$cur"))
                return ;;
            P) # a COM port number, or a device path once one is begun
               COMPREPLY=($(compgen -W "1 2 3 4 5 6 7 8" -- "$cur"))
               [[ $cur == /* ]] && _filedir
               return ;;
            *'|'*) COMPREPLY=($(compgen -W "${value//|/ }" -- "$cur")); return ;;
            [A-Z]*) return ;;
        esac
    fi
    $split && return

    if [[ $cur == -* ]]; then
        local options
        options=$(sed -n 's/^  \(--[a-z][a-z-]*\).*/\1/p' <<<"$help")
        COMPREPLY=($(compgen -W "$options --help" -- "$cur"))
        [[ ${COMPREPLY-} == *= ]] && compopt -o nospace
        return
    fi

    # A file named on the usage line ("usage: velmora-cli show FILE ...").
    if head -n 1 <<<"$help" | grep -q "^usage: [^ ]* $command FILE"; then
        _filedir dst
    fi
} &&
    complete -F _velmora_cli velmora-cli
