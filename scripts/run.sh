#!/usr/bin/env bash
# Installs what is missing, builds Quorvex and decodes the bundled sample call.
#   scripts/run.sh [CAPTURE_FILE]
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh run
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DQUORVEX_TESTS=OFF -DQUORVEX_BENCH=OFF > /dev/null
cmake --build build -j "$(nproc)" --target quorvex-dump quorvex-gen
exec build/quorvex-dump --format tsv "${1:-samples/sample-call.pcap}"
