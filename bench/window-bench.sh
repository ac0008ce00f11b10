#!/usr/bin/env bash
# The window at scale, as drawn offscreen and as drawn on an X server: the
# same window_bench on the same file, once with Qt's offscreen platform and
# once under Xvfb (the xcb platform, as on a desktop), in one run. A real X
# server draws and sends every update; what blocks the main thread there and
# not offscreen shows here.
#   bench/window-bench.sh [PACKETS] [BUILD_DIR]
set -euo pipefail
count=${1:-1000000}
build=${2:-build}
work=$(mktemp -d)
display=:$((90 + RANDOM % 9))
trap 'kill "$xvfb" 2> /dev/null || true; rm -rf "$work"' EXIT
command -v Xvfb > /dev/null || { echo "window-bench: needs Xvfb (apt-get install xvfb)" >&2; exit 1; }

"$build/quorvex-gen" mix "$count" "$work/mix.pcap"
Xvfb "$display" -screen 0 1366x768x24 > /dev/null 2>&1 &
xvfb=$!
sleep 1
for platform in offscreen xcb; do
    echo "== $platform"
    DISPLAY=$display QT_QPA_PLATFORM=$platform XDG_CONFIG_HOME="$work/config-$platform" \
        "$build/bench/window_bench" "$work/mix.pcap" 2>&1 | grep -v propagateSizeHints
done
