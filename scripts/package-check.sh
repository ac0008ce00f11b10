#!/usr/bin/env bash
# Builds the Debian package, checks it with lintian, desktop-file-validate and
# appstreamcli, installs it, and tries it as a user would: the helper's owner,
# mode and capabilities, the programs, the man pages and the completion, a
# live capture in a network namespace by a member of the group quorvex (it
# captures) and by someone else (refused with the group message); then purges
# it and checks that nothing of it is left. Where no group quorvex exists, an
# ordinary one is made first, as an administrator may have; the users, the
# group and the namespaces it made are removed however it ends. Run as root,
# on a machine where installing the package is fine (CI).
#   scripts/package-check.sh [BUILD_FOLDER [DEB]]
# BUILD_FOLDER (default build-package) holds the build and its logs; a DEB
# given is checked as it is, without building.
set -euo pipefail
cd "$(dirname "$0")/.."
folder=${1:-build-package}
deb=${2:-}
[ "$(id -u)" -eq 0 ] || { echo "package-check: run as root" >&2; exit 1; }

fail() { echo "package-check: $*" >&2; exit 1; }

if [ -z "$deb" ]; then
    echo "== Building the Debian package"
    rm -rf "$folder"
    mkdir -p "$folder/quorvex"
    git ls-files -co --exclude-standard | grep -v '^build' | tar -cf - -T - |
        tar -xf - -C "$folder/quorvex"
    # Unoptimised and without debugging information, to keep CI short: the
    # checks are about what the package holds and does, and a release build
    # differs only in its code's speed and its debug symbols package.
    (cd "$folder/quorvex" && DEB_BUILD_OPTIONS="noopt ${DEB_BUILD_OPTIONS:-}" \
        DEB_CFLAGS_STRIP=-g DEB_CXXFLAGS_STRIP=-g \
        dpkg-buildpackage -us -uc -b -j"$(nproc)" > ../build.log 2>&1) ||
        { tail -40 "$folder/build.log"; fail "dpkg-buildpackage failed"; }
    deb=$(ls "$folder"/quorvex_*_amd64.deb)
    echo "built $deb"
fi
mkdir -p "$folder"
case $deb in /*) ;; *) deb="$PWD/$deb" ;; esac

echo "== lintian, desktop-file-validate, appstreamcli"
lintian --fail-on error --tag-display-limit 0 "$deb"
contents=$(mktemp -d)
dpkg-deb -x "$deb" "$contents"
desktop-file-validate "$contents/usr/share/applications/org.quorvex.Quorvex.desktop"
appstreamcli validate --no-net "$contents/usr/share/metainfo/org.quorvex.Quorvex.metainfo.xml"
files=$(cd "$contents" && find . -type f -o -type l | sed 's|^\.||')
rm -rf "$contents"

# What this check makes on the machine, taken away again however it ends.
made_users=()
made_group=
ns=qvpkg$$
cleanup() {
    ip netns del "${ns}c" 2> /dev/null || true
    ip netns del "${ns}p" 2> /dev/null || true
    for user in "${made_users[@]}"; do
        userdel "$user" 2> /dev/null || true
    done
    if [ -n "$made_group" ]; then
        groupdel quorvex 2> /dev/null || true
    fi
}
trap cleanup EXIT

# An ordinary group named quorvex, made by an administrator before the
# package came, is taken as the capture group.
if ! getent group quorvex > /dev/null; then
    groupadd quorvex
    made_group=yes
fi
[ "$(getent group quorvex | cut -d: -f3)" -ge 1000 ] || [ -z "$made_group" ] ||
    fail "the group made for the check is not an ordinary one"

echo "== Installing"
DEBIAN_FRONTEND=noninteractive apt-get install -y -q "$deb" > "$folder/install.log" 2>&1 ||
    { cat "$folder/install.log"; fail "apt-get install failed"; }
helper=/usr/lib/quorvex/quorvex-capture
[ "$(stat -c '%U:%G %a' "$helper")" = "root:quorvex 750" ] ||
    fail "the helper is $(stat -c '%U:%G %a' "$helper"), not root:quorvex 750"
getcap "$helper" | grep -q 'cap_net_admin,cap_net_raw=ep' || fail "the helper lacks its capabilities"
dpkg-statoverride --list "$helper" | grep -q 'root quorvex 750' || fail "no override for the helper"
/usr/bin/quorvex-dump --version | grep -q '^quorvex-dump ' || fail "no --version"
[ "$(/usr/bin/quorvex-dump --format tsv /usr/share/quorvex/sample-call.pcap | wc -l)" -gt 10 ] ||
    fail "the sample does not open"
man -w quorvex-dump > /dev/null && man -w quorvex > /dev/null || fail "no man pages"
bash -c 'source /usr/share/bash-completion/bash_completion 2> /dev/null || true
    source /usr/share/bash-completion/completions/quorvex-dump; complete -p quorvex-dump' ||
    fail "no completion"

echo "== Capturing as a member of the group quorvex, and as someone else"
for user in qvmember qvother; do
    if ! id "$user" > /dev/null 2>&1; then
        useradd --system --no-create-home "$user"
        made_users+=("$user")
    fi
done
usermod -aG quorvex qvmember
ip netns add "${ns}c"
ip netns add "${ns}p"
ip link add en0 netns "${ns}c" type veth peer name peer0 netns "${ns}p"
ip -n "${ns}c" addr add 10.79.0.1/24 dev en0
ip -n "${ns}p" addr add 10.79.0.2/24 dev peer0
ip -n "${ns}c" link set en0 up
ip -n "${ns}p" link set peer0 up
send() { # a few IAX2 NEW frames from the peer
    sleep 1.5
    for i in 1 2 3 4 5 6; do
        ip netns exec "${ns}p" bash -c \
            "printf '\x80\x0$i\x00\x00\x00\x00\x00\x03\x00\x00\x06\x01' > /dev/udp/10.79.0.1/4569"
        sleep 0.2
    done
}
send &
captured=$(ip netns exec "${ns}c" runuser -u qvmember -- \
    quorvex-dump --live --interface en0 --count 3 --duration 10 --format tsv 2> "$folder/member.err" |
    tail -n +2 | wc -l)
wait
[ "$captured" -eq 3 ] || { cat "$folder/member.err"; fail "the member captured $captured frames, not 3"; }
if ip netns exec "${ns}c" runuser -u qvother -- \
    quorvex-dump --live --interface en0 --count 1 --duration 3 > "$folder/other.out" 2> "$folder/other.err"; then
    fail "someone outside the group could capture"
fi
grep -q 'Only members of the group quorvex may capture' "$folder/other.err" ||
    { cat "$folder/other.err"; fail "the refusal does not name the group"; }
[ ! -s "$folder/other.out" ] || fail "someone outside the group captured frames"
echo "the member captured 3 frames; the other user was told: $(head -1 "$folder/other.err")"

echo "== Purging"
DEBIAN_FRONTEND=noninteractive apt-get purge -y -q quorvex > "$folder/purge.log" 2>&1 ||
    { cat "$folder/purge.log"; fail "apt-get purge failed"; }
for file in $files; do
    [ ! -e "$file" ] || [ -d "$file" ] || fail "$file is left after purge"
done
if dpkg-statoverride --list "$helper" > /dev/null 2>&1; then
    fail "the override is left after purge"
fi
echo "Package built, checked, installed, tried and purged."

