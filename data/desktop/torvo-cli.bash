# bash completion for torvo-cli
_torvo_cli() {
    local cur prev
    cur=${COMP_WORDS[COMP_CWORD]}
    prev=${COMP_WORDS[COMP_CWORD-1]}
    case $prev in
        -f|-F|--db|--vgs)
            COMPREPLY=($(compgen -f -- "$cur"))
            return ;;
        --chains)
            COMPREPLY=($(compgen -W 'video audio' -- "$cur"))
            return ;;
        --export-format)
            COMPREPLY=($(compgen -W 'table nfo' -- "$cur") $(compgen -f -- "$cur"))
            return ;;
        --export-mode)
            COMPREPLY=($(compgen -W 'per-file folder: append:' -- "$cur"))
            compopt -o nospace 2>/dev/null
            return ;;
        --render-timeout|--inform|--set-merit|--reset-merit)
            return ;;
    esac
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W '--json --fields --inform -f -0 --null -x --until-error --scan --no-scan --vgs
            --export --export-format --export-mode --overwrite --render --render-timeout --chains --build
            --db --video-codecs --audio-formats --codecs --formats --no-cache --set-merit --reset-merit
            --help --version -V --' -- "$cur"))
        return
    fi
    COMPREPLY=($(compgen -f -- "$cur"))
}
complete -o filenames -o bashdefault -F _torvo_cli torvo-cli
