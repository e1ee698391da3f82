# bash completion for torvo-cli
# The option names come from the program's own --help, so that they never lag behind it.
_torvo_cli_options() {
    # Each option line of the help: "  -0, --null   text" gives -0 and --null.
    "${1:-torvo-cli}" --help 2>/dev/null | awk '/^  -/ {
        sub(/^  /, ""); split($0, column, /   */); n = split(column[1], names, /, /)
        for (i = 1; i <= n; i++) { split(names[i], word, / /); print word[1] } }'
}

_torvo_cli_files() {  # $1: what is typed; -d for folders only
    local IFS=$'\n'
    # One name a line, never split at blanks; -o filenames quotes them.
    mapfile -t COMPREPLY < <(compgen ${2:--f} -- "$1")
    compopt -o filenames 2>/dev/null
}

_torvo_cli() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]} word
    COMPREPLY=()
    # bash splits words at '=' and ':': --option=value and folder:DIR arrive
    # as three words, and only the last one is completed.
    local before=${COMP_WORDS[COMP_CWORD-2]} mode=
    if [[ $cur == [=:] ]]; then
        before=$prev prev=$cur cur=
    fi
    if [[ $prev == = ]]; then
        prev=$before
    elif [[ $prev == : && ( $before == folder || $before == append ) ]]; then
        mode=$before prev=--export-mode
    fi
    # After "--" every word is a file.
    for word in "${COMP_WORDS[@]:1:COMP_CWORD-1}"; do
        if [[ $word == -- ]]; then
            _torvo_cli_files "$cur"
            return
        fi
    done
    case $prev in
        -f|--db|--vgs)
            _torvo_cli_files "$cur"
            return ;;
        --chains)
            mapfile -t COMPREPLY < <(compgen -W 'video audio' -- "$cur")
            return ;;
        --language)
            mapfile -t COMPREPLY < <(compgen -W 'ru en' -- "$cur")
            return ;;
        --export-format)
            _torvo_cli_files "$cur"
            COMPREPLY+=($(compgen -W 'table nfo' -- "$cur"))
            return ;;
        --export-mode)
            case $mode in
                folder) _torvo_cli_files "$cur" -d ;;
                append) _torvo_cli_files "$cur" ;;
                *) mapfile -t COMPREPLY < <(compgen -W 'per-file folder: append:' -- "$cur")
                   compopt -o nospace 2>/dev/null ;;
            esac
            return ;;
        --inform)
            if [[ $cur == file://* ]]; then
                _torvo_cli_files "${cur#file://}"
            else
                mapfile -t COMPREPLY < <(compgen -W 'file://' -- "$cur")
                compopt -o nospace 2>/dev/null
            fi
            return ;;
        --render-timeout|--set-merit|--reset-merit)
            return ;;
    esac
    if [[ $cur == -* ]]; then
        mapfile -t COMPREPLY < <(compgen -W "$(_torvo_cli_options "${COMP_WORDS[0]}")" -- "$cur")
        return
    fi
    _torvo_cli_files "$cur"
}
complete -o bashdefault -F _torvo_cli torvo-cli
