#!/usr/bin/env bash
# What the voice features cost, in one run:
#   streams   quorvex-dump --streams and --problems against --registrations
#             (the same load and call tracking, nearly nothing printed) on
#             PACKETS packets of 1,000 calls, RUNS times each; the medians of
#             wall and CPU. Both decode every call's voice for its activity and
#             in-band digits. Beside them tshark's expert information
#             (-q -z expert), the nearest it has: no IAX2 stream figures.
#   audio     decoding a call of SECONDS of G.711 and writing it as WAV
#             (quorvex-dump --audio), and listening to it for in-band DTMF
#             (--dtmf), against loading the same file alone; then
#             listen_bench, DTMF detection against decoding in memory.
#   bench/voice-bench.sh [PACKETS] [SECONDS] [BUILD_DIR] [RUNS]   (needs perf)
set -euo pipefail
count=${1:-1000000}
seconds=${2:-3600}
build=${3:-build}
runs=${4:-11}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Median wall and CPU seconds of RUNS runs of a command, to the millisecond
# through perf stat (Debian's linux-perf).
median() { # label, command...
    local label=$1
    shift
    for _ in $(seq "$runs"); do
        perf stat -x, -e task-clock,duration_time -o "$work/time" "$@" > /dev/null 2> /dev/null
        echo "$(grep duration_time "$work/time" | cut -d, -f1) $(grep task-clock "$work/time" | cut -d, -f1)" |
            awk '{ printf "%.4f %.4f\n", $1 / 1e9, $2 / 1e3 }'
    done > "$work/runs"
    local wall cpu
    wall=$(cut -d' ' -f1 "$work/runs" | sort -n | sed -n "$(((runs + 1) / 2))p")
    cpu=$(cut -d' ' -f2 "$work/runs" | sort -n | sed -n "$(((runs + 1) / 2))p")
    printf '%-34s wall %6.3f s  cpu %6.3f s\n' "$label" "$wall" "$cpu"
    echo "$wall" > "$work/last"
}

"$build/quorvex-gen" calls "$count" "$work/calls.pcap"
echo "streams: $count packets of 1,000 calls, median of $runs runs"
median "load and calls (--registrations)" "$build/quorvex-dump" --registrations "$work/calls.pcap"
base=$(cat "$work/last")
median "load, calls and streams (--streams)" "$build/quorvex-dump" --streams "$work/calls.pcap"
echo "streams add $(echo "100 * ($(cat "$work/last") - $base) / $base" | bc -l | cut -c1-5) % of wall time"
median "load, calls and problems (--problems)" "$build/quorvex-dump" --problems "$work/calls.pcap"
echo "problems add $(echo "100 * ($(cat "$work/last") - $base) / $base" | bc -l | cut -c1-5) % of wall time"
if command -v tshark > /dev/null; then
    median "tshark -q -z expert" tshark -r "$work/calls.pcap" -q -z expert
else
    echo "tshark: not installed"
fi

"$build/quorvex-gen" tone-call "$seconds" "$work/long.pcap"
echo "audio: one G.711 call of $seconds s, $(du -h "$work/long.pcap" | cut -f1)"
median "load and calls (--registrations)" "$build/quorvex-dump" --registrations "$work/long.pcap"
base=$(cat "$work/last")
median "load, decode and write WAV" sh -c \
    'rm -f "$2" && exec "$1" --audio 1 "$2" "$3"' sh "$build/quorvex-dump" "$work/long.wav" "$work/long.pcap"
echo "decode and export: $(echo "$(cat "$work/last") - $base" | bc -l | cut -c1-5) s over the load"
median "load, decode and listen (--dtmf)" "$build/quorvex-dump" --dtmf "$work/long.pcap"
echo "decode and listen: $(echo "$(cat "$work/last") - $base" | bc -l | cut -c1-5) s over the load"
"$build/bench/listen_bench" "$seconds"
