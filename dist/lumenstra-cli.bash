# bash completion for lumenstra-cli: commands, options, effect names and zones.
# tests/dist checks these lists against the program's own help text.

_lumenstra_cli() {
    local cur prev words cword
    _init_completion 2>/dev/null || {
        cur=${COMP_WORDS[COMP_CWORD]}
        prev=${COMP_WORDS[COMP_CWORD-1]}
        words=("${COMP_WORDS[@]}")
        cword=$COMP_CWORD
    }

    local commands="list read apply set restore rename group reset zelvor serve ports raw check update"
    local effects="static flow rotate dual twin morse rainbow breathe off mode_07 mode_0a mode_09 mode_08 mode_02 mode_01 light_off direct mode_11 mode_10"
    local zones="main fan logo all"
    local device_options="--family --device --name --identity --help"

    case $prev in
        --family) COMPREPLY=($(compgen -W "standard led5" -- "$cur")); return ;;
        --zone) COMPREPLY=($(compgen -W "$zones" -- "$cur")); return ;;
        --effect) COMPREPLY=($(compgen -W "$effects" -- "$cur")); return ;;
        --random) COMPREPLY=($(compgen -W "on off" -- "$cur")); return ;;
        --speed) COMPREPLY=($(compgen -W "0 1 2 3 4" -- "$cur")); return ;;
        --brightness) COMPREPLY=($(compgen -W "0 1 2" -- "$cur")); return ;;
        -o) COMPREPLY=($(compgen -f -- "$cur")); return ;;
        --device|--name|--identity|--color|--color2|--direction|--morse|--address|--port) return ;;
    esac

    if [ "$cword" -le 1 ]; then
        COMPREPLY=($(compgen -W "$commands --help --version" -- "$cur"))
        return
    fi

    local options=$device_options
    case ${words[1]} in
        list) options="$options --json" ;;
        restore) options="$options --on-resume --quiet" ;;
        read) options="$options -o --json" ;;
        set) options="$options --all --quiet --zone --effect --color --color2 --speed --brightness --random --direction --morse" ;;
        reset|zelvor|rename) options="$options --all --quiet" ;;
        group)
            options="$options --yes --quiet"
            [[ $cur != -* ]] && { COMPREPLY=($(compgen -W "on off" -- "$cur")); return; } ;;
        apply)
            options="$options --all --quiet"
            [[ $cur != -* ]] && { COMPREPLY=($(compgen -f -- "$cur")); return; } ;;
        ports) options="--help" ;;
        serve) options="--address --port --help" ;;
    esac
    COMPREPLY=($(compgen -W "$options" -- "$cur"))
}
complete -F _lumenstra_cli lumenstra-cli
