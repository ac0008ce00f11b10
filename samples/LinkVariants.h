#pragma once

#include "samples/IaxPacketBuilder.h"

#include <array>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

// The same UDP datagrams in the link and network layers real machines write:
// for tests and captures that must give the same records as an Ethernet/IPv4
// original.
namespace iaxgen {

enum class Variant {
    Ethernet,     // Ethernet, IPv4 without options: the original
    LinuxCooked,  // Linux cooked v1 (capture on "any")
    LinuxCooked2, // Linux cooked v2
    Vlan,         // Ethernet with an 802.1Q tag
    QinQ,         // Ethernet with 802.1ad and 802.1Q tags
    RawIp,        // no link-layer header
    BsdLoopback,  // a 4-byte address family in host order
    Ipv4Options,  // IPv4 with 8 bytes of options
    Ipv6Ethernet, // IPv6, with a destination-options header, over Ethernet
    Ipv6Cooked,   // IPv6 over Linux cooked v1
};

struct VariantInfo {
    Variant variant;
    std::string_view name; // as quorvex-gen takes it
    int linkType;          // the capture's DLT
};
const std::vector<VariantInfo>& variants();

// udpPacket(source, destination, payload) in the given variant. IPv6
// variants use ipv6Of() of the endpoints' addresses.
Bytes variantPacket(Variant variant, Endpoint source, Endpoint destination,
                    std::span<const std::uint8_t> payload);

// The datagram of an Ethernet/IPv4 packet made by udpPacket, in `variant`.
Bytes reframe(Variant variant, std::span<const std::uint8_t> ethernetPacket);

// 2001:db8::a.b.c.d for the IPv4 address a.b.c.d.
std::array<std::uint8_t, 16> ipv6Of(const Endpoint& endpoint);

} // namespace iaxgen
