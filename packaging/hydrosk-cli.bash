# Bash completion of hydrosk-cli and hydrosk-mpi: subcommands, options, mode and search names,
# extensions, and files (INP files, results files) where a command takes them.

_hydrosk_cli() {
    local cur prev words cword
    _init_completion || return

    local command="" i
    for ((i = 1; i < cword; i++)); do
        case ${words[i]} in
            simulate | fireflow | baseline | export-geojson)
                command=${words[i]}
                break
                ;;
        esac
    done

    case $prev in
        --mode)
            COMPREPLY=($(compgen -W 'steady available design duration flow' -- "$cur"))
            return
            ;;
        --search)
            COMPREPLY=($(compgen -W 'linear bisection' -- "$cur"))
            return
            ;;
        --extension)
            COMPREPLY=($(compgen -W 'TXT CSV DAT' -- "$cur"))
            return
            ;;
        --fire-demand)
            COMPREPLY=($(compgen -W 'replace add' -- "$cur"))
            return
            ;;
        --report | --hydrants | --required-flows | --fire-groups)
            _filedir
            return
            ;;
        --inp)
            _filedir inp
            return
            ;;
        --min-pressure | --max-flow | --flow-interval | --required-flow | --required-time | \
            --tolerance | --threads | --lanes | --demand-time | --fire-duration | --max-velocity | \
            --fire-groups-near | --group-size)
            return  # a number
            ;;
    esac

    case $command in
        "")
            if [[ $cur == -* ]]; then
                COMPREPLY=($(compgen -W '--help --version' -- "$cur"))
            else
                COMPREPLY=($(compgen -W 'simulate fireflow baseline export-geojson' -- "$cur"))
            fi
            ;;
        simulate)
            if [[ $cur == -* ]]; then
                COMPREPLY=($(compgen -W '--help' -- "$cur"))
            else
                _filedir inp
            fi
            ;;
        fireflow)
            if [[ $cur == -* ]]; then
                COMPREPLY=($(compgen -W '--help --mode --search --min-pressure --max-flow
                    --flow-interval --required-flow --tolerance --required-time --extension
                    --threads --lanes --report --stats --demand-time --fire-duration --fire-demand
                    --max-velocity --hydrants --required-flows --fire-groups --fire-groups-near
                    --group-size' -- "$cur"))
            else
                _filedir inp
            fi
            ;;
        baseline)
            if [[ $cur == -* ]]; then
                COMPREPLY=($(compgen -W '--help --min-pressure --demand-time --max-velocity' \
                    -- "$cur"))
            else
                _filedir inp
            fi
            ;;
        export-geojson)
            if [[ $cur == -* ]]; then
                COMPREPLY=($(compgen -W '--help --inp' -- "$cur"))
            else
                _filedir  # the results file, then the GeoJSON file to write
            fi
            ;;
    esac
} &&
    complete -F _hydrosk_cli hydrosk-cli hydrosk-mpi
