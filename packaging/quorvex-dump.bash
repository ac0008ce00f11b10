# bash completion for quorvex-dump: its options, capture files, and the
# display filter fields (as "quorvex-dump -G fields" lists them) after -e
# and inside -Y.

_quorvex_dump_fields() {
    quorvex-dump -G fields 2> /dev/null | awk -F'\t' '$1 == "F" || $1 == "P" { print $3 }'
}

_quorvex_dump() {
    local cur prev words cword
    _init_completion -n '=:' || return

    case $prev in
    -e)
        COMPREPLY=($(compgen -W "$(_quorvex_dump_fields)" -- "$cur"))
        return
        ;;
    -Y | --display-filter)
        # The field being typed is the last word of the expression.
        local word=${cur##*[^[:alnum:]._]} field
        COMPREPLY=()
        for field in $(compgen -W "$(_quorvex_dump_fields)" -- "$word"); do
            COMPREPLY+=("${cur%"$word"}$field")
        done
        compopt -o nospace
        return
        ;;
    -r | --write)
        _filedir '@(pcap|pcapng|cap)'
        return
        ;;
    -w)
        _filedir '@(pcap|pcapng)'
        return
        ;;
    --format)
        COMPREPLY=($(compgen -W "jsonl tsv" -- "$cur"))
        return
        ;;
    -T)
        COMPREPLY=($(compgen -W "fields json" -- "$cur"))
        return
        ;;
    -G)
        COMPREPLY=($(compgen -W "fields" -- "$cur"))
        return
        ;;
    -E)
        COMPREPLY=($(compgen -W "header=y header=n separator=/t separator=/s occurrence=f occurrence=l occurrence=a aggregator=/s quote=d quote=s quote=n" -- "$cur"))
        return
        ;;
    --timing)
        COMPREPLY=($(compgen -W "sent arrived" -- "$cur"))
        return
        ;;
    -b)
        COMPREPLY=($(compgen -W "filesize: duration: files:" -- "$cur"))
        compopt -o nospace 2> /dev/null
        return
        ;;
    --interface)
        COMPREPLY=($(compgen -W "any $(ls /sys/class/net 2> /dev/null)" -- "$cur"))
        return
        ;;
    -c | --count | --duration | --jitter-buffer | --memory-limit | --call | --flow | --audio | --filter | --secret | --hep | --hep-id | --hep-node | --hep-password | --hep-report-interval | --store)
        return
        ;;
    --secrets-file | --hep-password-file | --store-password-file)
        _filedir
        return
        ;;
    esac

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "-Y --display-filter -T -e -E -V -x -G -r -c -w -b --format --calls
            --registrations --streams --problems --dtmf --stats --conversations --jitter-buffer --call --write
            --flow --audio --timing --memory-limit --debug --verbose --live --interface --filter --count
            --duration --secret --secrets-file --hep --hep-id --hep-node --hep-password-file --hep-report-interval
            --store --store-password-file --version" -- "$cur"))
        return
    fi
    _filedir '@(pcap|pcapng|cap)'
} && complete -F _quorvex_dump quorvex-dump
