#include "fields/PacketLayout.h"

#include "dissect/ByteCursor.h"
#include "dissect/PacketLayers.h"

namespace fields {

PacketLayout layoutOf(std::span<const std::uint8_t> packet, std::uint16_t linkType) {
    PacketLayout layout;
    const ByteCursor bytes(packet);
    switch (linkType) {
    case 1:
        layout.link = PacketLayout::Link::Ethernet;
        for (std::size_t at = 12; layout.tagCount < layout.tags.size(); at += 4) {
            const auto type = bytes.be16(at);
            if (!type || (*type != 0x8100 && *type != 0x88A8 && *type != 0x9100)) {
                break;
            }
            layout.tags[layout.tagCount++] = {at, *type != 0x8100};
        }
        break;
    case 113:
        layout.link = PacketLayout::Link::Cooked;
        break;
    case 276:
        layout.link = PacketLayout::Link::Cooked2;
        break;
    case 0:
    case 108:
        layout.link = PacketLayout::Link::Loopback;
        break;
    case 12:
    case 14:
    case 101:
    case 228:
    case 229:
        layout.link = PacketLayout::Link::RawIp;
        break;
    default:
        break;
    }
    FrameFacts scratch;
    const LocatedPayload located = locateIaxPayload(bytes, linkType, scratch);
    layout.network = located.networkOffset;
    layout.ipv6 = scratch.family() == AddressFamily::IPv6;
    layout.udp = located.udpOffset;
    return layout;
}

std::string frameSummary(const FieldFrame& frame) {
    const FrameFacts& facts = frame.facts();
    return "Frame " + std::to_string(frame.number()) + ": " + std::to_string(facts.wireLength) +
           " bytes on wire (" + std::to_string(facts.wireLength * 8ull) + " bits), " +
           std::to_string(facts.capturedLength) + " bytes captured (" +
           std::to_string(facts.capturedLength * 8ull) + " bits)";
}

std::string protocolsOf(const FieldFrame& frame) {
    const FrameFacts& facts = frame.facts();
    const auto packet = frame.packet();
    const PacketLayout layout = layoutOf(packet, facts.linkType);
    std::string list;
    switch (layout.link) {
    case PacketLayout::Link::Ethernet:
        list = "eth:ethertype";
        break;
    case PacketLayout::Link::Cooked:
    case PacketLayout::Link::Cooked2:
        list = "sll:ethertype";
        break;
    case PacketLayout::Link::Loopback:
        list = "null";
        break;
    case PacketLayout::Link::RawIp:
        list = "raw";
        break;
    case PacketLayout::Link::Unknown:
        return list;
    }
    for (std::size_t i = 0; i < layout.tagCount; ++i) {
        list += layout.tags[i].provider ? ":ieee8021ad:ethertype" : ":vlan:ethertype";
    }
    switch (facts.family()) {
    case AddressFamily::IPv4:
        list += ":ip";
        break;
    case AddressFamily::IPv6:
        list += ":ipv6";
        break;
    case AddressFamily::None:
        return list;
    }
    if (facts.portsCaptured != 0 && facts.kind() != FrameKind::NotIax) {
        list += ":udp";
        if (facts.kind() != FrameKind::Truncated || facts.capturedLength > facts.payloadOffset) {
            list += ":iax2";
        }
        // Voice or video data, which no dissector reads further.
        const bool media = facts.kind() == FrameKind::Mini || facts.kind() == FrameKind::VideoMini ||
                           (facts.kind() == FrameKind::Full &&
                            (facts.frameType == 2 || facts.frameType == 3));
        const std::size_t header = facts.kind() == FrameKind::Mini        ? 4
                                   : facts.kind() == FrameKind::VideoMini ? 6
                                                                          : 12;
        const std::size_t datagram = facts.udpLength > 8 ? facts.udpLength - 8u : 0u;
        if (media && datagram > header &&
            facts.capturedLength > facts.payloadOffset + header) {
            list += ":data";
        }
    }
    return list;
}

} // namespace fields
