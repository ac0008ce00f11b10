#!/usr/bin/env bash
# Live capture under load: replays the benchmark mix through a veth pair at
# increasing rates, with quorvex-dump --live and tcpdump capturing side by
# side on the receiving end, and reports per rate the packets each received,
# dropped (pcap_stats) and wrote to its file. Needs root, iproute2, tcpdump
# and tcpreplay. Bounded: PACKETS per rate (default 100000), rates as given.
#   bench/live-load.sh [BUILD_DIR] [RATE...]
set -euo pipefail
build=$(realpath "${1:-build}")
shift || true
rates=("$@")
[ ${#rates[@]} -gt 0 ] || rates=(10000 25000 50000 100000 200000)
packets=${PACKETS:-100000}
[ "$(id -u)" -eq 0 ] || { echo "needs root (network namespaces)" >&2; exit 1; }
for tool in ip tcpdump tcpreplay; do
    command -v $tool > /dev/null || { echo "needs $tool" >&2; exit 1; }
done

work=$(mktemp -d)
cap=qvxbcap$$
peer=qvxbpeer$$
. "$(dirname "$0")/namespaces.sh"
cleanup() {
    drop_namespaces $cap $peer
    rm -rf "$work"
}
trap cleanup EXIT
make_namespaces $cap $peer qvxbb$$

"$build/quorvex-gen" mix "$packets" "$work/mix.pcap"

stat_of() { # file, word before "packets ..." line
    awk -v what="$2" '$0 ~ what {print $1; exit}' "$1"
}
in_file() {
    tcpdump -r "$1" 2> /dev/null | wc -l
}

printf '%8s %9s %8s | %9s %8s %8s | %9s %8s %8s\n' rate achieved sent \
    "qvx recv" "qvx drop" "qvx file" "tcpd recv" "tcpd drop" "tcpd file"
for rate in "${rates[@]}"; do
    rm -f /tmp/quorvex.capture
    ip netns exec $cap "$build/quorvex-dump" --live --format tsv > /dev/null 2> "$work/qvx.err" &
    qvx=$!
    ip netns exec $cap tcpdump -i en0 -s 1024 -w "$work/tcpdump.pcap" 'port 4569' \
        2> "$work/tcpd.err" &
    tcpd=$!
    sleep 1.5
    ip netns exec $peer tcpreplay -q -i qvxbb$$ --pps="$rate" "$work/mix.pcap" > "$work/replay.out" 2>&1
    sleep 1.5
    kill -INT $qvx $tcpd
    wait $qvx $tcpd || true
    sent=$(awk '/Actual:/ {print $2; exit}' "$work/replay.out")
    achieved=$(awk '/Rated:/ {for (i = 1; i <= NF; i++) if ($(i + 1) ~ /^pps/) {printf "%d", $i; exit}}' \
        "$work/replay.out")
    printf '%8s %9s %8s | %9s %8s %8s | %9s %8s %8s\n' "$rate" "${achieved:-?}" "${sent:-?}" \
        "$(stat_of "$work/qvx.err" 'received by filter')" \
        "$(stat_of "$work/qvx.err" 'dropped by kernel')" \
        "$(in_file /tmp/quorvex.capture)" \
        "$(stat_of "$work/tcpd.err" 'received by filter')" \
        "$(stat_of "$work/tcpd.err" 'dropped by kernel')" \
        "$(in_file "$work/tcpdump.pcap")"
done
