#!/usr/bin/env bash
# The cost of decryption: the same 1,000 calls (quorvex-gen calls-authenticated
# and calls-encrypted: each NEW offers AES-128, each callee asks for MD5 with a
# challenge, each end rotates its key once) read in clear, encrypted without
# the secret, and encrypted with it (after a wrong one); frames as TSV and the
# calls, beside tshark -T fields on the encrypted file. Wall time, CPU time
# (user+sys) and peak memory of each.
#   bench/decrypt-vs-clear.sh [PACKETS] [BUILD_DIR]
set -euo pipefail
count=${1:-1000000}
build=${2:-build}
source "$(dirname "$0")/measure.sh"
MEASURE_LABEL_WIDTH=34
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$build/quorvex-gen" calls-authenticated "$count" "$work/clear.pcap"
"$build/quorvex-gen" calls-encrypted "$count" "$work/encrypted.pcap"
echo "captures: $count packets, clear $(du -h "$work/clear.pcap" | cut -f1)," \
    "encrypted $(du -h "$work/encrypted.pcap" | cut -f1)"


secrets=(--secret wrong --secret quorvex-secret)
for listing in "--format tsv" "--calls"; do
    # shellcheck disable=SC2086 # the listing is two words or one
    measure "clear $listing" "$work/out" "$build/quorvex-dump" $listing "$work/clear.pcap"
    # shellcheck disable=SC2086
    measure "encrypted, no secret $listing" "$work/out" "$build/quorvex-dump" $listing \
        "$work/encrypted.pcap"
    # shellcheck disable=SC2086
    measure "encrypted, decrypted $listing" "$work/out" "$build/quorvex-dump" $listing "${secrets[@]}" \
        "$work/encrypted.pcap"
done
if command -v tshark > /dev/null; then
    measure "tshark -T fields (encrypted)" "$work/out" tshark -r "$work/encrypted.pcap" -T fields -e ip.src \
        -e ip.dst -e iax2.src_call -e iax2.dst_call -e iax2.timestamp
fi
