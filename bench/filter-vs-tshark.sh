#!/usr/bin/env bash
# A display filter applied to the same generated capture of the benchmark mix
# by quorvex-dump -Y and by tshark -Y, in one run: wall and CPU time, peak
# memory and the frames each selects (which must be the same).
#   bench/filter-vs-tshark.sh [PACKETS] [BUILD_DIR] [EXPRESSION]
set -euo pipefail
count=${1:-1000000}
build=${2:-build}
expression=${3:-"iax2.packet_type == 0 && udp.port == 4569 && ip.src == 192.0.2.0/24 && iax2.src_call in {1..50} && iax2.timestamp > 1000"}
source "$(dirname "$0")/measure.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/quorvex-gen" mix "$count" "$work/mix.pcap"
echo "capture: $count packets; expression: $expression"
measure quorvex-dump "$work/out" "$build/quorvex-dump" -Y "$expression" "$work/mix.pcap"
measure tshark "$work/out" tshark -r "$work/mix.pcap" -Y "$expression"
