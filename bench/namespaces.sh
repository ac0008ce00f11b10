# Sourced by the benchmark scripts that capture live. make_namespaces CAP PEER
# PEER_LINK [CAP_ADDRESS PEER_ADDRESS] makes two network namespaces joined
# by a veth pair: the capture side's end named en0, the peer's PEER_LINK,
# both up, with the /24 addresses given (none for traffic replayed at the link
# layer). drop_namespaces CAP PEER removes them.
make_namespaces() {
    local cap=$1 peer=$2 link=$3
    ip netns add "$cap"
    ip netns add "$peer"
    ip link add "$link-c" type veth peer name "$link"
    ip link set "$link-c" netns "$cap"
    ip link set "$link" netns "$peer"
    ip -n "$cap" link set "$link-c" name en0
    if [ $# -ge 5 ]; then
        ip -n "$cap" addr add "$4/24" dev en0
        ip -n "$peer" addr add "$5/24" dev "$link"
    fi
    ip -n "$cap" link set en0 up
    ip -n "$cap" link set lo up
    ip -n "$peer" link set "$link" up
}

drop_namespaces() {
    ip netns del "$1" 2> /dev/null || true
    ip netns del "$2" 2> /dev/null || true
}
