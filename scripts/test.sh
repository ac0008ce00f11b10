#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test:
#   1. the test suite, warnings as errors (its screenshot of the window on
#      the public call becomes the README's picture, docs/images/window.png);
#   2. the same suite built with AddressSanitizer and UndefinedBehaviorSanitizer;
#   3. the libFuzzer targets: the dissector for FUZZ_SECONDS (default 30), the
#      voice decoders for VOICE_FUZZ_SECONDS (default 15), display filter
#      expressions for FILTER_FUZZ_SECONDS (default 15), sequences of datagrams
#      followed as calls for CALL_FUZZ_SECONDS (default 15), the frames of an
#      encrypted call for DECRYPT_FUZZ_SECONDS (default 15), any bytes as a
#      capture file for CAPTUREFILE_FUZZ_SECONDS (default 10), HEP messages
#      for HEP_FUZZ_SECONDS (default 10); two at a time;
#   4. as root, the Debian package: built, checked with lintian, installed,
#      tried (capture rights, man pages, completion) and purged
#      (scripts/package-check.sh).
# Each build has its own folder (build-test, build-asan, build-fuzz).
set -euo pipefail
cd "$(dirname "$0")/.."
fuzz_seconds=${FUZZ_SECONDS:-30}
voice_fuzz_seconds=${VOICE_FUZZ_SECONDS:-15}
filter_fuzz_seconds=${FILTER_FUZZ_SECONDS:-15}
call_fuzz_seconds=${CALL_FUZZ_SECONDS:-15}
decrypt_fuzz_seconds=${DECRYPT_FUZZ_SECONDS:-15}
capturefile_fuzz_seconds=${CAPTUREFILE_FUZZ_SECONDS:-10}
hep_fuzz_seconds=${HEP_FUZZ_SECONDS:-10}
jobs=$(nproc)

scripts/install-deps.sh test
# The independent HEP decoder the HEP tests read Quorvex's messages with;
# without the npm registry the test that uses it says it was skipped.
npm install --prefix build-hepjs --no-audit --no-fund --silent hep-js@1.0.22 > /dev/null ||
    echo "hep-js could not be installed from the npm registry: its HEP test is skipped"
# Window tests run without a display.
export QT_QPA_PLATFORM=offscreen

echo "== Tests"
# Optimised as released, without debugging information, which only slows the
# build down here: the sanitizer build below has it, for a failure's trace.
cmake -S . -B build-test -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
    -DQUORVEX_WERROR=ON > /dev/null
cmake --build build-test -j "$jobs"
ctest --test-dir build-test --output-on-failure -j "$jobs"
# The README's picture is the window as the screenshot test drew it.
mkdir -p docs/images
cp build-test/screenshots/window-1366x768.png docs/images/window.png

echo "== Tests under AddressSanitizer and UndefinedBehaviorSanitizer"
# Line tables only (-g1): what a sanitizer's trace needs, and a quicker build.
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG=-g1 -DQUORVEX_SANITIZE=ON \
    -DQUORVEX_WERROR=ON -DQUORVEX_BENCH=OFF > /dev/null
cmake --build build-asan -j "$jobs"
# The fuzzers build meanwhile, at the lowest priority: the sanitized tests
# leave the cores idle as they wait for the processes, sockets and sound
# server they start, and lose nothing to a build that only takes what is idle.
cmake -S . -B build-fuzz -DQUORVEX_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVEX_WERROR=ON > /dev/null
nice -n 19 cmake --build build-fuzz -j "$jobs" --target decode_fuzzer voice_decoder_fuzzer \
    filter_fuzzer call_fuzzer decrypt_fuzzer capturefile_fuzzer hep_fuzzer > build-fuzz/build.log 2>&1 &
fuzz_build=$!
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir build-asan --output-on-failure -j "$jobs"
wait "$fuzz_build" || { cat build-fuzz/build.log; echo "The fuzzers did not build."; exit 1; }

fuzz() { # TARGET SECONDS SEEDS MAX_LEN
    local target=$1 seconds=$2 seeds=$3 max_len=$4 corpus
    echo "== Fuzzing ${target} for ${seconds} s"
    corpus=$(mktemp -d)
    # New inputs go to a scratch folder; the seeds stay as they are.
    if ! "build-fuzz/${target}" -max_len="$max_len" -max_total_time="$seconds" \
        -print_final_stats=1 -artifact_prefix=build-fuzz/ "$corpus" "$seeds" \
        > "build-fuzz/${target}.log" 2>&1; then
        cat "build-fuzz/${target}.log"
        echo "The fuzzer found a failing input; it is in build-fuzz/ (crash-*, leak-*, timeout-*)."
        echo "Keep it under tests/data/ with the result it must give."
        rm -rf "$corpus"
        exit 1
    fi
    rm -rf "$corpus"
    tail -n 6 "build-fuzz/${target}.log"
    echo "Fuzzing ${target} found nothing in ${seconds} s."
}

# A fuzzer keeps one core busy: two run at a time, the next starting as soon
# as one ends; any failure fails the run once all have ended.
two_at_a_time() { # each argument: a fuzz command line
    local running=0 failed=0
    for run in "$@"; do
        if [ "$running" -eq 2 ]; then
            wait -n || failed=1
            running=$((running - 1))
        fi
        eval "fuzz $run" &
        running=$((running + 1))
    done
    while [ "$running" -gt 0 ]; do
        wait -n || failed=1
        running=$((running - 1))
    done
    return $failed
}
# The filter's inputs are long enough for nesting past its bound and for
# sets of hundreds of members.
two_at_a_time "decode_fuzzer $fuzz_seconds fuzz/corpus 2048" \
    "voice_decoder_fuzzer $voice_fuzz_seconds fuzz/voice-corpus 1024" \
    "call_fuzzer $call_fuzz_seconds fuzz/call-corpus 8192" \
    "filter_fuzzer $filter_fuzz_seconds fuzz/filter-corpus 16384" \
    "decrypt_fuzzer $decrypt_fuzz_seconds fuzz/decrypt-corpus 8192" \
    "capturefile_fuzzer $capturefile_fuzz_seconds fuzz/capturefile-corpus 4096" \
    "hep_fuzzer $hep_fuzz_seconds fuzz/hep-corpus 4096"

if [ "$(id -u)" -eq 0 ]; then
    scripts/package-check.sh build-package
else
    echo "== The Debian package check needs root (it installs the package): skipped"
fi
