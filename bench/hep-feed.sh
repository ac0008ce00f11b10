#!/usr/bin/env bash
# quorvex-dump --hep sending the benchmark mix to a counting collector on
# loopback (bench's hep_sink), over UDP and over TCP, with tshark reading the
# same file's fields as the reference in the same run (TSHARK=0 skips it: on
# 10,000,000 packets it takes minutes). Prints wall and CPU time, peak
# memory, messages per second and what the collector received.
#   bench/hep-feed.sh [BUILD_DIR] [PACKETS]    (default 1000000)
set -euo pipefail
here=$(dirname "$0")
build=$(realpath "${1:-build}")
packets=${2:-1000000}
. "$here/measure.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for tool in quorvex-dump quorvex-gen bench/hep_sink; do
    [ -x "$build/$tool" ] || { echo "build $build/$tool first" >&2; exit 1; }
done
capture=$work/mix.pcap
"$build/quorvex-gen" mix "$packets" "$capture" > /dev/null
echo "mix of $packets packets, $(du -m "$capture" | cut -f1) MiB; $(nproc) cores"

MEASURE_LABEL_WIDTH=16
measure tsv "$work/out" "$build/quorvex-dump" --format tsv "$capture"
for protocol in udp tcp; do
    port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
    "$build/bench/hep_sink" "$protocol" "$port" 3 > "$work/sink" &
    sink=$!
    until grep -q listening "$work/sink"; do sleep 0.05; done
    start=$(date +%s.%N)
    measure "hep $protocol" "$work/out" "$build/quorvex-dump" --format tsv --hep "$protocol:127.0.0.1:$port" "$capture"
    end=$(date +%s.%N)
    wait $sink
    received=$(sed -n 's/received \([0-9]*\) messages.*/\1/p' "$work/sink")
    printf "%-16s %d messages received, %.0f messages/s\n" "" "$received" \
        "$(echo "$received / ($end - $start)" | bc -l)"
done
if [ "${TSHARK:-1}" != 0 ] && command -v tshark > /dev/null; then
    measure tshark "$work/out" tshark -r "$capture" -T fields -e ip.src -e ip.dst -e iax2.src_call \
        -e iax2.dst_call -e iax2.timestamp
fi
