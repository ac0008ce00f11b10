#!/usr/bin/env bash
# A live run as a PBX's agent would run it, under a steady load: CALLS
# concurrent calls (50 packets a second each; default 400, so 20,000/s) sent
# through a veth pair between two network namespaces of its own for DURATION
# seconds (default 600), captured by quorvex-dump --live into a ring of
# files, with --hep to a counting collector and --store to a scratch
# ClickHouse. Prints the resident memory after 1 minute and at the end, what
# was sent, captured and dropped, and the ring's files. Needs root,
# iproute2 and clickhouse-server.
#   bench/agent-soak.sh [BUILD_DIR]      CALLS=400 DURATION=600
set -euo pipefail
here=$(realpath "$(dirname "$0")")
build=$(realpath "${1:-build}")
calls=${CALLS:-400}
duration=${DURATION:-600}
[ "$(id -u)" -eq 0 ] || { echo "needs root (network namespaces)" >&2; exit 1; }
for tool in quorvex-dump bench/soak_sender bench/hep_sink; do
    [ -x "$build/$tool" ] || { echo "build $build/$tool first" >&2; exit 1; }
done

work=$(mktemp -d)
cap=qvxscap$$
peer=qvxspeer$$
. "$here/namespaces.sh"
cleanup() {
    ip netns exec $cap "$here/../tests/support/clickhouse-scratch.sh" stop "$work/clickhouse" || true
    drop_namespaces $cap $peer
    rm -rf "$work"
}
trap cleanup EXIT
make_namespaces $cap $peer qvxsb$$ 10.79.0.1 10.79.0.2

http=$(ip netns exec $cap "$here/../tests/support/clickhouse-scratch.sh" start "$work/clickhouse")
hep_port=9061
ip netns exec $cap "$build/bench/hep_sink" udp $hep_port 5 > "$work/sink" &
sink=$!
mkdir "$work/ring"
ip netns exec $cap env XDG_STATE_HOME="$work/state" "$build/quorvex-dump" --live --interface en0 \
    --format tsv -w "$work/ring/agent.pcap" -b filesize:100000 -b files:5 \
    --hep udp:127.0.0.1:$hep_port --store "clickhouse://127.0.0.1:$http/soak" \
    > /dev/null 2> "$work/dump.err" &
dump=$!
sleep 2
ip netns exec $peer "$build/bench/soak_sender" 10.79.0.1 "$calls" 30 "$duration" > "$work/sent" &
sender=$!
rss() { awk '/VmRSS/ {printf "%.1f", $2 / 1024}' /proc/$dump/status; }
sleep 60
first=$(rss)
wait $sender
last=$(rss)
sleep 6 # the last calls' reports
kill -INT $dump
wait $dump || true
wait $sink || true
echo "calls: $calls at a time, $duration s; $(cat "$work/sent")"
echo "resident: $first MiB after 1 minute, $last MiB at the end ($(echo "100 * ($last - $first) / $first" | bc -l | xargs printf '%+.1f') %)"
grep -E "packets|HEP:|Store:" "$work/dump.err"
echo "collector: $(cat "$work/sink" | tail -1)"
echo "ring: $(ls "$work/ring" | wc -l) files kept, the newest $(ls "$work/ring" | tail -1)"
echo "stored calls: $(ip netns exec $cap python3 -c "import urllib.request; print(urllib.request.urlopen('http://127.0.0.1:$http/', b'SELECT count() FROM soak.calls').read().decode().strip())")"
