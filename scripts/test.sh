#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test:
#   1. the test suite, warnings as errors;
#   2. the same suite built with AddressSanitizer and UndefinedBehaviorSanitizer;
#   3. the dissector's libFuzzer target for FUZZ_SECONDS (default 60).
# Each build has its own folder (build-test, build-asan, build-fuzz).
set -euo pipefail
cd "$(dirname "$0")/.."
fuzz_seconds=${FUZZ_SECONDS:-60}
jobs=$(nproc)

scripts/install-deps.sh test
# Window tests run without a display.
export QT_QPA_PLATFORM=offscreen

echo "== Tests"
cmake -S . -B build-test -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVEX_WERROR=ON > /dev/null
cmake --build build-test -j "$jobs"
ctest --test-dir build-test --output-on-failure -j "$jobs"

echo "== Tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DQUORVEX_SANITIZE=ON -DQUORVEX_WERROR=ON \
    -DQUORVEX_BENCH=OFF > /dev/null
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir build-asan --output-on-failure -j "$jobs"

echo "== Fuzzing the dissector for ${fuzz_seconds} s"
cmake -S . -B build-fuzz -DQUORVEX_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVEX_WERROR=ON > /dev/null
cmake --build build-fuzz -j "$jobs" --target decode_fuzzer
corpus=$(mktemp -d)
trap 'rm -rf "$corpus"' EXIT
# New inputs go to a scratch folder; the seeds in fuzz/corpus stay as they are.
if ! build-fuzz/decode_fuzzer -max_len=2048 -max_total_time="$fuzz_seconds" \
    -print_final_stats=1 -artifact_prefix=build-fuzz/ "$corpus" fuzz/corpus \
    > build-fuzz/fuzz.log 2>&1; then
    cat build-fuzz/fuzz.log
    echo "The fuzzer found a failing input; it is in build-fuzz/ (crash-*, leak-*, timeout-*)."
    echo "Keep it under tests/data/ with the record it must produce."
    exit 1
fi
tail -n 6 build-fuzz/fuzz.log
echo "Fuzzing found nothing in ${fuzz_seconds} s."
