# bash completion for bleepforge-cli
_bleepforge_cli() {
    local cur prev verb
    cur=${COMP_WORDS[COMP_CWORD]}
    prev=${COMP_WORDS[COMP_CWORD-1]}
    if [ "$COMP_CWORD" -eq 1 ]; then
        COMPREPLY=($(compgen -W "backups check-config default-config dump famitone help nsf render rom save trace" -- "$cur"))
        return
    fi
    verb=${COMP_WORDS[1]}
    case "$prev" in
        --seconds|--rate|--frames|--passes|--fade|--channels) COMPREPLY=(); return ;;
    esac
    if [[ "$cur" == -* ]]; then
        case "$verb" in
            render) COMPREPLY=($(compgen -W "--seconds --passes --fade --rate --channels --stems --ntsc --pal" -- "$cur")) ;;
            famitone) COMPREPLY=($(compgen -W "--strict" -- "$cur")) ;;
            trace) COMPREPLY=($(compgen -W "--frames --ntsc --pal" -- "$cur")) ;;
            rom) COMPREPLY=($(compgen -W "-e" -- "$cur")) ;;
        esac
        return
    fi
    local pattern='*.zcm'
    case "$verb:$COMP_CWORD" in
        render:2|trace:2) pattern='*.@(zcm|nsf|nes)' ;;
        dump:2) pattern='*.@(zcm|zci)' ;;
        check-config:2) pattern='*.ini' ;;
        render:3) pattern='*.@(wav|flac|ogg)' ;;
        rom:2) pattern='*.nes' ;;
        nsf:3) pattern='*.nsf' ;;
        famitone:3) pattern='*.txt' ;;
        backups:*|default-config:*|help:*) COMPREPLY=(); return ;;
    esac
    compopt -o filenames 2>/dev/null
    COMPREPLY=($(compgen -f -X "!$pattern" -- "$cur") $(compgen -d -- "$cur"))
}
complete -F _bleepforge_cli bleepforge-cli
