#include "linklayer/PacketLayers.h"

#include "linklayer/HepChunks.h"
#include "linklayer/LinkTypes.h"

#include <array>
#include <optional>

namespace {

enum EtherType : std::uint16_t {
    Ipv4Type = 0x0800,
    ArpType = 0x0806,
    VlanTag = 0x8100,
    Ipv6Type = 0x86DD,
    ProviderTag = 0x88A8,
    OldProviderTag = 0x9100,
};

enum IpProtocol : std::uint8_t {
    HopByHop = 0,
    IcmpProtocol = 1,
    TcpProtocol = 6,
    UdpProtocol = 17,
    Routing = 43,
    Fragment = 44,
    Icmpv6Protocol = 58,
    DestinationOptions = 60,
};

constexpr std::size_t udpHeaderLength = 8;

LocatedPayload notIax(FrameFacts& facts, PacketClass what, std::uint8_t protocol = 0) {
    facts.setKind(FrameKind::NotIax);
    facts.frameType = static_cast<std::uint8_t>(what);
    facts.subclass = protocol;
    return {};
}

LocatedPayload classifyProtocol(FrameFacts& facts, std::uint8_t protocol) {
    switch (protocol) {
    case TcpProtocol:
        return notIax(facts, PacketClass::Tcp, protocol);
    case IcmpProtocol:
        return notIax(facts, PacketClass::Icmp, protocol);
    case Icmpv6Protocol:
        return notIax(facts, PacketClass::Icmpv6, protocol);
    default:
        return notIax(facts, PacketClass::OtherIpProtocol, protocol);
    }
}

// UDP at `udp`: ports, declared length, and the payload after the header.
// `ipPayload` is the length the IP header gives what follows it, where known.
LocatedPayload readUdp(const ByteCursor& packet, std::size_t udp, FrameFacts& facts,
                       std::optional<std::size_t> ipPayload) {
    const auto sourcePort = packet.be16(udp);
    const auto destinationPort = packet.be16(udp + 2);
    if (sourcePort && destinationPort) {
        facts.sourcePort = *sourcePort;
        facts.destinationPort = *destinationPort;
        facts.portsCaptured = 1;
    }
    if (const auto length = packet.be16(udp + 4)) {
        facts.udpLength = *length;
        facts.udpLengthCaptured = 1;
        facts.udpLengthShort = ipPayload && *length < *ipPayload ? 1 : 0;
    }
    facts.payloadOffset = static_cast<std::uint16_t>(udp + udpHeaderLength);
    LocatedPayload located;
    located.isUdp = true;
    located.udpOffset = udp;
    located.payload = packet.sub(udp + udpHeaderLength);
    return located;
}

LocatedPayload readIpv4Header(const ByteCursor& packet, std::size_t ip, FrameFacts& facts);
LocatedPayload readIpv6Header(const ByteCursor& packet, std::size_t ip, FrameFacts& facts);

LocatedPayload readIpv4(const ByteCursor& packet, std::size_t ip, FrameFacts& facts) {
    LocatedPayload located = readIpv4Header(packet, ip, facts);
    located.networkOffset = ip;
    return located;
}

LocatedPayload readIpv6(const ByteCursor& packet, std::size_t ip, FrameFacts& facts) {
    LocatedPayload located = readIpv6Header(packet, ip, facts);
    located.networkOffset = ip;
    return located;
}

LocatedPayload readIpv4Header(const ByteCursor& packet, std::size_t ip, FrameFacts& facts) {
    facts.setFamily(AddressFamily::IPv4);
    // Read where they would be in a header without options, so that a packet
    // cut inside its header still shows what was captured of them.
    if (const auto address = packet.be32(ip + 12)) {
        facts.sourceAddress = *address;
        facts.sourceCaptured = 1;
    }
    if (const auto address = packet.be32(ip + 16)) {
        facts.destinationAddress = *address;
        facts.destinationCaptured = 1;
    }
    const auto versionAndLength = packet.u8(ip);
    if (!versionAndLength) {
        return {}; // truncated
    }
    const std::size_t headerLength = (*versionAndLength & 0x0Fu) * 4u;
    if ((*versionAndLength >> 4) != 4 || headerLength < 20) {
        return notIax(facts, PacketClass::MalformedIPv4);
    }
    if (!packet.has(ip, headerLength)) {
        return {}; // the capture ended inside the header
    }
    const std::uint16_t fragmentOffset = *packet.be16(ip + 6) & 0x1FFFu;
    const std::uint8_t protocol = *packet.u8(ip + 9);
    if (fragmentOffset != 0) {
        return notIax(facts, PacketClass::Ipv4Fragment, protocol);
    }
    if (protocol != UdpProtocol) {
        return classifyProtocol(facts, protocol);
    }
    const std::uint16_t total = *packet.be16(ip + 2);
    return readUdp(packet, ip + headerLength, facts,
                   total >= headerLength ? std::optional<std::size_t>(total - headerLength)
                                         : std::nullopt);
}

LocatedPayload readIpv6Header(const ByteCursor& packet, std::size_t ip, FrameFacts& facts) {
    facts.setFamily(AddressFamily::IPv6);
    const auto source = packet.fixed<16>(ip + 8);
    const auto destination = packet.fixed<16>(ip + 24);
    Ipv6Addresses addresses;
    if (source) {
        std::copy(source->begin(), source->end(), addresses.source.begin());
        facts.sourceCaptured = 1;
    }
    if (destination) {
        std::copy(destination->begin(), destination->end(), addresses.destination.begin());
        facts.destinationCaptured = 1;
    }
    auto withAddresses = [&addresses](LocatedPayload located) {
        located.ipv6 = addresses;
        return located;
    };
    const auto version = packet.u8(ip);
    if (!version) {
        return withAddresses({});
    }
    if ((*version >> 4) != 6) {
        return withAddresses(notIax(facts, PacketClass::MalformedIPv6));
    }
    auto next = packet.u8(ip + 6);
    std::size_t at = ip + 40;
    if (!next || !packet.has(ip, 40)) {
        return withAddresses({}); // the capture ended inside the header
    }
    // The extension headers before the payload: each says what comes next
    // and (but the fragment header, always 8 bytes) its length in 8-byte units.
    for (int hops = 0; hops < 16; ++hops) {
        if (*next == HopByHop || *next == Routing || *next == DestinationOptions) {
            const auto following = packet.u8(at);
            const auto units = packet.u8(at + 1);
            if (!following || !units) {
                return withAddresses({});
            }
            next = following;
            at += (static_cast<std::size_t>(*units) + 1) * 8;
            continue;
        }
        if (*next == Fragment) {
            const auto following = packet.u8(at);
            const auto offset = packet.be16(at + 2);
            if (!following || !offset) {
                return withAddresses({});
            }
            if ((*offset & 0xFFF8u) != 0) {
                return withAddresses(notIax(facts, PacketClass::Ipv6Fragment, *following));
            }
            next = following;
            at += 8;
            continue;
        }
        break;
    }
    if (*next != UdpProtocol) {
        return withAddresses(classifyProtocol(facts, *next));
    }
    // The payload length counts the extension headers passed over too.
    const std::size_t payload = *packet.be16(ip + 4);
    const std::size_t extensions = at - ip - 40;
    return withAddresses(
        readUdp(packet, at, facts,
                payload >= extensions ? std::optional(payload - extensions) : std::nullopt));
}

LocatedPayload readNetwork(const ByteCursor& packet, std::size_t at, std::uint16_t etherType,
                           FrameFacts& facts) {
    switch (etherType) {
    case Ipv4Type:
        return readIpv4(packet, at, facts);
    case Ipv6Type:
        return readIpv6(packet, at, facts);
    case ArpType:
        return notIax(facts, PacketClass::Arp);
    default:
        return notIax(facts, PacketClass::NotIp);
    }
}

// IPv4 or IPv6 by the version nibble; a packet too short to tell is taken
// for IPv4, and so cut short.
LocatedPayload readRawIp(const ByteCursor& packet, std::size_t at, FrameFacts& facts) {
    const auto version = packet.u8(at);
    if (version && (*version >> 4) == 6) {
        return readIpv6(packet, at, facts);
    }
    return readIpv4(packet, at, facts);
}

LocatedPayload readEthernet(const ByteCursor& packet, FrameFacts& facts) {
    std::size_t at = 12;
    std::array<LocatedPayload::Tag, LocatedPayload::maxTags> tags{};
    std::size_t tagCount = 0;
    auto type = packet.be16(at);
    while (type && (*type == VlanTag || *type == ProviderTag || *type == OldProviderTag)) {
        if (tagCount < tags.size()) {
            tags[tagCount++] = {at, *type != VlanTag};
        }
        at += 4;
        type = packet.be16(at);
    }
    // Too short to say: read as IPv4 where it would be, cut short.
    LocatedPayload located =
        type ? readNetwork(packet, at + 2, *type, facts) : readIpv4(packet, 14, facts);
    located.tags = tags;
    located.tagCount = tagCount;
    return located;
}

LocatedPayload readLoopback(const ByteCursor& packet, bool networkOrder, FrameFacts& facts) {
    const auto bytes = packet.fixed<4>(0);
    if (!bytes) {
        return readIpv4(packet, 4, facts);
    }
    const std::uint32_t family =
        networkOrder ? (std::uint32_t{(*bytes)[0]} << 24 | std::uint32_t{(*bytes)[1]} << 16 |
                        std::uint32_t{(*bytes)[2]} << 8 | (*bytes)[3])
                     : (std::uint32_t{(*bytes)[3]} << 24 | std::uint32_t{(*bytes)[2]} << 16 |
                        std::uint32_t{(*bytes)[1]} << 8 | (*bytes)[0]);
    switch (family) {
    case 2: // AF_INET everywhere
        return readIpv4(packet, 4, facts);
    case 10: // AF_INET6: Linux, then the BSDs and macOS
    case 24:
    case 28:
    case 30:
        return readIpv6(packet, 4, facts);
    default:
        return notIax(facts, PacketClass::NotIp);
    }
}

// The packet a HEP message of type 10 carries, in place of the UDP payload;
// anything else is left as it is.
void openHep(const ByteCursor& packet, LocatedPayload& located, FrameFacts& facts) {
    const std::span<const std::uint8_t> message = located.payload.bytes();
    bool ipv6 = false;
    std::optional<std::uint8_t> type;
    std::span<const std::uint8_t> source, destination, payload;
    std::optional<std::uint16_t> sourcePort, destinationPort;
    std::optional<std::uint32_t> seconds, microseconds;
    std::size_t payloadAt = 0, length = 0;
    const HepWalk walked = walkHepChunks(message, length, [&](const HepChunk& chunk) {
        if (chunk.vendor != 0) {
            return;
        }
        const ByteCursor value(chunk.value);
        switch (chunk.type) {
        case hepchunk::Family:
            ipv6 = value.u8(0) == std::optional<std::uint8_t>(10);
            break;
        case hepchunk::Source4:
        case hepchunk::Source6:
            source = chunk.value;
            break;
        case hepchunk::Destination4:
        case hepchunk::Destination6:
            destination = chunk.value;
            break;
        case hepchunk::SourcePort:
            sourcePort = chunk.value.size() == 2 ? value.be16(0) : std::nullopt;
            break;
        case hepchunk::DestinationPort:
            destinationPort = chunk.value.size() == 2 ? value.be16(0) : std::nullopt;
            break;
        case hepchunk::Seconds:
            seconds = chunk.value.size() == 4 ? value.be32(0) : std::nullopt;
            break;
        case hepchunk::Microseconds:
            microseconds = chunk.value.size() == 4 ? value.be32(0) : std::nullopt;
            break;
        case hepchunk::ProtocolType:
            type = chunk.value.size() == 1 ? value.u8(0) : std::nullopt;
            break;
        case hepchunk::PayloadBytes:
            payload = chunk.value;
            payloadAt = chunk.offset;
            break;
        default:
            break;
        }
    });
    const std::size_t messageAt = located.udpOffset + udpHeaderLength;
    if (walked == HepWalk::Ok && type && *type != 10) {
        // A report or a log that an agent sent of a call: no IAX2 in it.
        facts.setKind(FrameKind::NotIax);
        facts.frameType = static_cast<std::uint8_t>(PacketClass::Hep);
        facts.subclass = *type;
        located.isUdp = false;
        located.hepOffset = messageAt;
        return;
    }
    const std::size_t width = ipv6 ? 16 : 4;
    if (walked != HepWalk::Ok || type != std::optional<std::uint8_t>(10) || !sourcePort ||
        !destinationPort || source.size() != width || destination.size() != width ||
        payload.empty() || payload.size() > 0xFFFF - udpHeaderLength) {
        return;
    }
    located.hepOffset = messageAt;
    located.payload = packet.sub(messageAt + payloadAt, payload.size());
    if (ipv6) {
        Ipv6Addresses addresses;
        std::copy(source.begin(), source.end(), addresses.source.begin());
        std::copy(destination.begin(), destination.end(), addresses.destination.begin());
        located.ipv6 = addresses;
        facts.setFamily(AddressFamily::IPv6);
    } else {
        located.ipv6.reset();
        facts.setFamily(AddressFamily::IPv4);
        facts.sourceAddress = ByteCursor(source).be32(0).value_or(0);
        facts.destinationAddress = ByteCursor(destination).be32(0).value_or(0);
    }
    facts.sourcePort = *sourcePort;
    facts.destinationPort = *destinationPort;
    // When the agent captured it: what the call's timing is measured by.
    if (seconds && microseconds && *microseconds < 1'000'000) {
        facts.captureSeconds = *seconds;
        facts.captureNanoseconds = *microseconds * 1000;
    }
    facts.udpLength = static_cast<std::uint16_t>(udpHeaderLength + payload.size());
    facts.udpLengthShort = 0;
    facts.payloadOffset = static_cast<std::uint16_t>(messageAt + payloadAt);
}

} // namespace

LocatedPayload locateIaxPayload(const ByteCursor& packet, std::uint16_t linkType,
                                FrameFacts& facts) {
    const LinkType* type = linkTypeOf(linkType);
    LocatedPayload located = [&] {
        switch (type ? type->header : LinkHeader::Unknown) {
        case LinkHeader::Ethernet:
            return readEthernet(packet, facts);
        case LinkHeader::Cooked:
            return packet.has(0, 16) ? readNetwork(packet, 16, *packet.be16(14), facts)
                                     : readIpv4(packet, 16, facts);
        case LinkHeader::Cooked2:
            return packet.has(0, 20) ? readNetwork(packet, 20, *packet.be16(0), facts)
                                     : readIpv4(packet, 20, facts);
        case LinkHeader::RawIp:
            return type->raw == RawVersion::IPv4   ? readIpv4(packet, 0, facts)
                   : type->raw == RawVersion::IPv6 ? readIpv6(packet, 0, facts)
                                                   : readRawIp(packet, 0, facts);
        case LinkHeader::Loopback:
            return readLoopback(packet, type->familyInNetworkOrder, facts);
        case LinkHeader::Unknown:
            break;
        }
        return notIax(facts, PacketClass::UnknownLinkType);
    }();
    located.linkType = type;
    if (located.isUdp) {
        openHep(packet, located, facts);
    }
    return located;
}

LocatedPayload locateLayers(std::span<const std::uint8_t> packet, std::uint16_t linkType) {
    FrameFacts scratch;
    return locateIaxPayload(ByteCursor{packet}, linkType, scratch);
}
