#pragma once

#include "fields/FieldFrame.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace fields {

// Where a packet's layers lie in its captured bytes: the link-layer header
// with its VLAN tags, the IP header and UDP header, found as the decoder
// finds them. Offsets past what was captured are kept where the headers
// would be; the fields read from them check every byte.
struct PacketLayout {
    static constexpr std::size_t none = static_cast<std::size_t>(-1);
    enum class Link : std::uint8_t { Unknown, Ethernet, Cooked, Cooked2, Loopback, RawIp };
    struct Tag {
        std::size_t offset; // of its TPID; the TCI follows
        bool provider;      // an 802.1ad (or old 0x9100) outer tag
    };

    Link link = Link::Unknown;
    std::array<Tag, 8> tags{};
    std::size_t tagCount = 0;
    std::size_t network = none; // the IPv4 or IPv6 header
    bool ipv6 = false;
    std::size_t udp = none;
};

// The layout of the packet's bytes, for the capture's link-layer type.
[[nodiscard]] PacketLayout layoutOf(std::span<const std::uint8_t> packet, std::uint16_t linkType);

// "Frame 7: 98 bytes on wire (784 bits), 98 bytes captured (784 bits)"
[[nodiscard]] std::string frameSummary(const FieldFrame& frame);
// "eth:ethertype:ip:udp:iax2", as frame.protocols lists them.
[[nodiscard]] std::string protocolsOf(const FieldFrame& frame);

} // namespace fields
