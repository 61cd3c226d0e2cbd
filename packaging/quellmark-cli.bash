# bash completion for quellmark-cli: commands, each command's options, and files or folders
# where an option or argument takes one.

_quellmark_cli() {
    local cur prev command word i
    COMPREPLY=()
    cur=${COMP_WORDS[COMP_CWORD]}
    prev=${COMP_WORDS[COMP_CWORD-1]}

    command=
    for ((i = 1; i < COMP_CWORD; i++)); do
        word=${COMP_WORDS[i]}
        if [[ $word != -* ]]; then
            command=$word
            break
        fi
    done

    case $command in
        "")
            if [[ $cur == -* ]]; then
                COMPREPLY=($(compgen -W '-h --help -V --version' -- "$cur"))
            else
                COMPREPLY=($(compgen -W 'convert info preview help' -- "$cur"))
            fi
            ;;
        help)
            COMPREPLY=($(compgen -W 'convert info preview help' -- "$cur"))
            ;;
        convert)
            case $prev in
                -o|--output)
                    COMPREPLY=($(compgen -d -- "$cur"))
                    return
                    ;;
                --files-from|--failed-to)
                    COMPREPLY=($(compgen -f -- "$cur"))
                    return
                    ;;
                -j|--jobs)
                    COMPREPLY=($(compgen -W "$(seq 1 "$(nproc 2>/dev/null || echo 4)")" -- "$cur"))
                    return
                    ;;
            esac
            if [[ $cur == -* ]]; then
                COMPREPLY=($(compgen -W '-h --help -o --output -r --recursive --hidden -j --jobs
                    -n --dry-run --json -q --quiet --no-sync --no-wait --keep-times --drop-trailing-bytes --files-from
                    --failed-to -0 --null' -- "$cur"))
            else
                COMPREPLY=($(compgen -f -- "$cur"))
            fi
            ;;
        info)
            if [[ $cur == -* ]]; then
                COMPREPLY=($(compgen -W '-h --help -r --recursive --hidden --json' -- "$cur"))
            else
                COMPREPLY=($(compgen -f -- "$cur"))
            fi
            ;;
        preview)
            case $prev in
                -o|--output)
                    COMPREPLY=($(compgen -f -X '!*.[sS][vV][gG]' -- "$cur") $(compgen -d -- "$cur"))
                    return
                    ;;
            esac
            if [[ $cur == -* ]]; then
                COMPREPLY=($(compgen -W '-h --help -o --output --after --drop-trailing-bytes' -- "$cur"))
            else
                COMPREPLY=($(compgen -f -X '!*.[jJ][wW][wWsS]' -- "$cur") $(compgen -d -- "$cur"))
            fi
            ;;
    esac
}

complete -o filenames -F _quellmark_cli quellmark-cli
