#!/usr/bin/env bash
# Installs the Debian packages Quorvex needs that are not installed yet.
#   scripts/install-deps.sh run     to build and run the applications
#   scripts/install-deps.sh test    to build and run every test as well
# As root it installs them; otherwise it uses sudo where there is sudo, and
# says what to install where there is not.
set -euo pipefail

build=(cmake g++ make pkg-config libpcap-dev libcap-dev qt6-base-dev qt6-svg-dev qt6-charts-dev
    libqt6opengl6-dev qt6-multimedia-dev libspandsp-dev libbcg729-dev libspeex-dev libpcre2-dev libssl-dev
    libcurl4-openssl-dev scdoc)
test=(libgtest-dev libbenchmark-dev clang libclang-rt-14-dev tshark iproute2 libcap2-bin pulseaudio
    pulseaudio-utils dosfstools fusefat xvfb clickhouse-server build-essential debhelper dpkg-dev lintian desktop-file-utils appstream man-db bash-completion python3)
# Node.js and npm, for the HEP tests' independent decoder, where there are
# none yet: a Node.js from elsewhere brings its own npm, which Debian's npm
# package conflicts with.
if ! command -v npm > /dev/null; then
    test+=(nodejs npm)
fi

case "${1:-run}" in
run) wanted=("${build[@]}") ;;
test) wanted=("${build[@]}" "${test[@]}") ;;
*)
    echo "usage: $0 run|test" >&2
    exit 2
    ;;
esac

missing=()
for package in "${wanted[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2> /dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
    as_root=()
elif command -v sudo > /dev/null; then
    as_root=(sudo)
else
    echo "Not root and no sudo. As root, run:" >&2
    echo "  apt-get update && apt-get install -y ${missing[*]}" >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -q
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
    "${missing[@]}"
