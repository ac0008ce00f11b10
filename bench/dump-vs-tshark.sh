#!/usr/bin/env bash
# quorvex-dump against tshark on the same generated capture of the benchmark
# mix (90 % mini frames, 5 % voice, 5 % IAX control), in one run, paired:
#   idle      nothing else running;
#   busy      one other process keeps a core busy (started and stopped here);
#   syslog    rsyslogd listening on /dev/log (started here when none runs,
#             stopped after), as on every desktop and server.
# Gives wall time, CPU time (user+sys) and peak memory of each program:
# quorvex-dump's records as TSV, its -T fields (the same five as tshark's)
# and its --calls (which decodes the calls' voice again to listen to it).
#   bench/dump-vs-tshark.sh [PACKETS] [BUILD_DIR] [CASE...]
set -euo pipefail
count=${1:-1000000}
build=${2:-build}
shift 2 || shift $# || true
cases=("$@")
[ ${#cases[@]} -gt 0 ] || cases=(idle busy syslog)
work=$(mktemp -d)
busy_pid=
syslog_started=
cleanup() {
    [ -z "$busy_pid" ] || kill "$busy_pid" 2> /dev/null || true
    [ -z "$syslog_started" ] || stop_syslog
    rm -rf "$work"
}
trap cleanup EXIT
capture="$work/mix.pcap"

"$build/quorvex-gen" mix "$count" "$capture"
echo "capture: $count packets, $(du -h "$capture" | cut -f1)"

measure() { # case, label, command...
    local name=$1 label=$2
    shift 2
    /usr/bin/time -f "%e %U %S %M" -o "$work/time" "$@" > "$work/out" 2> /dev/null
    read -r wall user sys kib < "$work/time"
    printf '%-7s %-12s wall %6.2f s  cpu %6.2f s  peak %7.1f MiB  %5.0f B/packet  %d lines\n' \
        "$name" "$label" "$wall" "$(echo "$user + $sys" | bc -l)" "$(echo "$kib / 1024" | bc -l)" \
        "$(echo "$kib * 1024 / $count" | bc -l)" "$(wc -l < "$work/out")"
}

pair() { # case
    measure "$1" quorvex-dump "$build/quorvex-dump" --format tsv "$capture"
    measure "$1" dump-fields "$build/quorvex-dump" -T fields -e ip.src -e ip.dst \
        -e iax2.src_call -e iax2.dst_call -e iax2.timestamp "$capture"
    measure "$1" dump-calls "$build/quorvex-dump" --calls "$capture"
    if command -v tshark > /dev/null; then
        measure "$1" tshark tshark -r "$capture" -T fields -e ip.src -e ip.dst -e iax2.src_call \
            -e iax2.dst_call -e iax2.timestamp
    else
        echo "tshark: not installed"
    fi
}

start_syslog() {
    if [ -S /dev/log ]; then
        return 0 # a daemon already listens
    fi
    command -v rsyslogd > /dev/null || { echo "syslog: rsyslogd not installed" >&2; return 1; }
    rsyslogd -i "$work/rsyslogd.pid"
    for _ in $(seq 50); do [ -S /dev/log ] && break; sleep 0.1; done
    syslog_started=1
}
stop_syslog() {
    kill "$(cat "$work/rsyslogd.pid")" 2> /dev/null || true
    for _ in $(seq 50); do [ -e "$work/rsyslogd.pid" ] || break; sleep 0.1; done
    rm -f /dev/log
    syslog_started=
}

quorvex_log_lines() {
    if [ -r /var/log/syslog ]; then grep -c ' quorvex\[' /var/log/syslog || true; else echo 0; fi
}

for name in "${cases[@]}"; do
    case $name in
    idle) pair idle ;;
    busy)
        (while :; do :; done) &
        busy_pid=$!
        pair busy
        kill "$busy_pid"
        busy_pid=
        ;;
    syslog)
        if start_syslog; then
            before=$(quorvex_log_lines)
            pair syslog
            sleep 1 # the daemon writes behind
            echo "syslog  quorvex lines added to /var/log/syslog: $(($(quorvex_log_lines) - before))"
            [ -z "$syslog_started" ] || stop_syslog
        fi
        ;;
    *) echo "unknown case: $name" >&2 ;;
    esac
done
