#!/usr/bin/env bash
# A display filter applied to the same generated capture of the benchmark mix
# by quorvex-dump -Y and by tshark -Y, in one run: wall and CPU time, peak
# memory and the frames each selects (which must be the same).
#   bench/filter-vs-tshark.sh [PACKETS] [BUILD_DIR] [EXPRESSION]
set -euo pipefail
count=${1:-1000000}
build=${2:-build}
expression=${3:-"iax2.packet_type == 0 && udp.port == 4569 && ip.src == 192.0.2.0/24 && iax2.src_call in {1..50} && iax2.timestamp > 1000"}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/quorvex-gen" mix "$count" "$work/mix.pcap"
echo "capture: $count packets; expression: $expression"
measure() { # label, command...
    local label=$1
    shift
    /usr/bin/time -f "%e %U %S %M" -o "$work/time" "$@" > "$work/out" 2> /dev/null
    read -r wall user sys kib < "$work/time"
    printf '%-13s wall %6.2f s  cpu %6.2f s  peak %7.1f MiB  %d frames\n' "$label" "$wall" \
        "$(echo "$user + $sys" | bc -l)" "$(echo "$kib / 1024" | bc -l)" "$(wc -l < "$work/out")"
}
measure quorvex-dump "$build/quorvex-dump" -Y "$expression" "$work/mix.pcap"
measure tshark tshark -r "$work/mix.pcap" -Y "$expression"
