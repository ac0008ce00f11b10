#!/usr/bin/env bash
# Installs what is missing, builds Quorvex and opens the window on the bundled
# sample call (or on CAPTURE_FILE). Without a display it prints the records
# with quorvex-dump instead.
#   scripts/run.sh [CAPTURE_FILE]
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh run
# Optimised as the tests build it (-O2): at -O3, g++ 12 warns falsely about
# the standard library's string copies.
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
    -DQUORVEX_TESTS=OFF -DQUORVEX_BENCH=OFF > /dev/null
cmake --build build -j "$(nproc)" --target quorvex quorvex-dump quorvex-gen
capture=${1:-samples/sample-call.pcap}
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    exec build/quorvex "$capture"
fi
echo "No display (DISPLAY and WAYLAND_DISPLAY are unset): printing the records instead." >&2
exec build/quorvex-dump --format tsv "$capture"
