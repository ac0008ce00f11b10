#!/usr/bin/env bash
# quorvex-dump -T fields against tshark -T fields: the same ten fields of the
# same generated capture of the benchmark mix, in one run. Gives wall time,
# CPU time (user+sys) and peak memory of each, and whether the two printed the
# same text.
#   bench/fields-vs-tshark.sh [PACKETS] [BUILD_DIR]
set -euo pipefail
count=${1:-1000000}
build=${2:-build}
source "$(dirname "$0")/measure.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
capture="$work/mix.pcap"
"$build/quorvex-gen" mix "$count" "$capture"
echo "capture: $count packets, $(du -h "$capture" | cut -f1)"
fields=(-e frame.number -e frame.time_relative -e ip.src -e ip.dst -e udp.srcport
    -e iax2.packet_type -e iax2.src_call -e iax2.timestamp -e iax2.iax.subclass -e iax2.ie_id)

measure quorvex-dump "$work/ours" "$build/quorvex-dump" -T fields "${fields[@]}" "$capture"
if command -v tshark > /dev/null; then
    measure tshark "$work/theirs" tshark -r "$capture" -T fields "${fields[@]}"
    cmp -s "$work/ours" "$work/theirs" && echo "same text: yes" || echo "same text: NO"
else
    echo "tshark: not installed"
fi
