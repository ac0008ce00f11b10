#!/usr/bin/env bash
# Wall time and peak memory of quorvex-dump on a generated capture of the
# benchmark mix, side by side with tshark reading five fields of the same file.
#   bench/dump-vs-tshark.sh [PACKETS] [BUILD_DIR]
set -euo pipefail
count=${1:-1000000}
build=${2:-build}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
capture="$work/mix.pcap"

"$build/quorvex-gen" mix "$count" "$capture"
echo "capture: $count packets, $(du -h "$capture" | cut -f1)"

measure() { # label, command...
    local label=$1
    shift
    /usr/bin/time -f "%e %M" -o "$work/time" "$@" > "$work/out" 2> /dev/null
    read -r seconds kib < "$work/time"
    printf '%-12s %8.2f s  peak %7.1f MiB  %6.0f bytes/packet  %d output lines\n' \
        "$label" "$seconds" "$(echo "$kib / 1024" | bc -l)" \
        "$(echo "$kib * 1024 / $count" | bc -l)" "$(wc -l < "$work/out")"
}

measure quorvex-dump "$build/quorvex-dump" --format tsv "$capture"
if command -v tshark > /dev/null; then
    measure tshark tshark -r "$capture" -T fields -e ip.src -e ip.dst -e iax2.src_call \
        -e iax2.dst_call -e iax2.timestamp
else
    echo "tshark: not installed"
fi
