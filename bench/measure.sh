# Sourced by the benchmark scripts. measure LABEL OUT COMMAND... runs the
# command with its standard output in OUT and prints its wall time, CPU time
# (user+sys), peak memory and the lines it wrote; the label takes
# MEASURE_LABEL_WIDTH columns (default 13).
measure() {
    local label=$1 out=$2 times wall user sys kib
    shift 2
    times=$(mktemp)
    /usr/bin/time -f "%e %U %S %M" -o "$times" "$@" > "$out" 2> /dev/null
    read -r wall user sys kib < "$times"
    rm -f "$times"
    printf "%-${MEASURE_LABEL_WIDTH:-13}s wall %6.2f s  cpu %6.2f s  peak %7.1f MiB  %d lines\n" \
        "$label" "$wall" "$(echo "$user + $sys" | bc -l)" "$(echo "$kib / 1024" | bc -l)" \
        "$(wc -l < "$out")"
}
