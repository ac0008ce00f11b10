// IPv4, IPv6 and UDP fields. Addresses, ports and the UDP length are in the
// frame's facts; the other header fields are read from the packet's bytes.
//
//   IPv4  |ver:4 IHL:4| DSCP:6 ECN:2 | total length | id | flags:3 offset:13 |
//         | TTL | protocol | checksum | source (4) | destination (4) |
//   IPv6  |ver:4 class:8 flow:20| payload length | next | hop limit | src (16) | dst (16) |
//   UDP   | source port | destination port | length | checksum |
#include "linklayer/ByteCursor.h"
#include "fields/FieldRegistry.h"
#include "linklayer/PacketLayers.h"

#include <arpa/inet.h>

namespace fields {
namespace {

enum class Net {
    Ip,
    IpVersion,
    IpHeaderLength,
    IpDsField,
    IpDscp,
    IpEcn,
    IpLength,
    IpId,
    IpFlags,
    IpReserved,
    IpDontFragment,
    IpMoreFragments,
    IpFragmentOffset,
    IpTtl,
    IpProtocol,
    IpChecksum,
    IpSource,
    IpDestination,
    IpAddress,
    Ipv6,
    Ipv6Version,
    Ipv6Class,
    Ipv6Flow,
    Ipv6PayloadLength,
    Ipv6Next,
    Ipv6HopLimit,
    Ipv6Source,
    Ipv6Destination,
    Ipv6Address,
    Udp,
    UdpSource,
    UdpDestination,
    UdpPort,
    UdpLength,
    UdpChecksum,
};

std::string ipv4Text(std::uint32_t address) {
    char text[INET_ADDRSTRLEN] = {};
    const std::uint32_t network = htonl(address);
    inet_ntop(AF_INET, &network, text, sizeof text);
    return text;
}

std::string ipv6Text(const std::array<std::uint8_t, 16>& address) {
    char text[INET6_ADDRSTRLEN] = {};
    inet_ntop(AF_INET6, address.data(), text, sizeof text);
    return text;
}

// The header word at `at` of `width` bytes, masked and shifted by the field's mask.
bool word(ValueSink& sink, const Field& field, const ByteCursor& bytes, std::size_t at, int width) {
    if (at == LocatedPayload::none) {
        return false;
    }
    std::uint64_t value = 0;
    for (int i = 0; i < width; ++i) {
        const auto byte = bytes.u8(at + static_cast<std::size_t>(i));
        if (!byte) {
            return false;
        }
        value = value << 8 | *byte;
    }
    if (field.bitmask != 0) {
        value &= field.bitmask;
        for (std::uint64_t mask = field.bitmask; (mask & 1) == 0; mask >>= 1) {
            value >>= 1;
        }
    }
    return put::number(sink, field, value, static_cast<int>(at), width);
}

// Where a value of the facts lies, where the packet's bytes were given.
struct Place {
    int offset = -1;
    int length = 0;
};

void ipv4(const FieldFrame& f, const Field& field, ValueSink& sink) {
    const FrameFacts& facts = f.facts();
    // The IP version field is the same word in both versions, and named so in both.
    if (facts.family() == AddressFamily::IPv6 && static_cast<Net>(field.parameter) == Net::IpVersion) {
        const auto packet = f.packet();
        const std::size_t ip = packet.empty() ? LocatedPayload::none : locateLayers(packet, facts.linkType).networkOffset;
        const auto first = ip == LocatedPayload::none ? std::nullopt : ByteCursor(packet).u8(ip);
        if (first) {
            put::number(sink, field, *first >> 4, static_cast<int>(ip), 1);
        }
        return;
    }
    if (facts.family() != AddressFamily::IPv4) {
        return;
    }
    const auto which = static_cast<Net>(field.parameter);
    const bool fromFacts = which == Net::Ip || which == Net::IpSource ||
                           which == Net::IpDestination || which == Net::IpAddress;
    const auto packet = fromFacts ? f.givenPacket() : f.packet();
    const ByteCursor bytes(packet);
    const std::size_t ip = packet.empty() ? LocatedPayload::none : locateLayers(packet, facts.linkType).networkOffset;
    auto at = [&](std::size_t offset, int length) {
        return ip == LocatedPayload::none ? Place{} : Place{static_cast<int>(ip + offset), length};
    };
    auto address = [&](bool source) {
        if ((source ? facts.sourceCaptured : facts.destinationCaptured) == 0) {
            return false;
        }
        const Place place = at(source ? 12 : 16, 4);
        return put::number(sink, field, source ? facts.sourceAddress : facts.destinationAddress,
                            place.offset, place.length);
    };
    const std::size_t base = ip == LocatedPayload::none ? LocatedPayload::none : ip;
    auto header = [&](std::size_t offset, int width) {
        return word(sink, field, bytes, base == LocatedPayload::none ? base : base + offset, width);
    };
    switch (which) {
    case Net::Ip: {
        const Place place = at(0, 20);
        put::text(sink, field,
                   "Internet Protocol Version 4, Src: " + ipv4Text(facts.sourceAddress) +
                       ", Dst: " + ipv4Text(facts.destinationAddress),
                   {}, place.offset, place.length);
        return;
    }
    case Net::IpVersion:
    case Net::IpHeaderLength: {
        const auto first = ip == LocatedPayload::none ? std::nullopt : bytes.u8(ip);
        if (first) {
            const std::uint64_t value =
                which == Net::IpVersion ? *first >> 4 : (*first & 0x0Fu) * 4u;
            put::number(sink, field, value, static_cast<int>(ip), 1);
        }
        return;
    }
    case Net::IpDsField:
    case Net::IpDscp:
    case Net::IpEcn:
        header(1, 1);
        return;
    case Net::IpLength:
        header(2, 2);
        return;
    case Net::IpId:
        header(4, 2);
        return;
    case Net::IpFlags:
    case Net::IpReserved:
    case Net::IpDontFragment:
    case Net::IpMoreFragments:
        header(6, 1);
        return;
    case Net::IpFragmentOffset:
        header(6, 2);
        return;
    case Net::IpTtl:
        header(8, 1);
        return;
    case Net::IpProtocol:
        header(9, 1);
        return;
    case Net::IpChecksum:
        header(10, 2);
        return;
    case Net::IpSource:
        address(true);
        return;
    case Net::IpDestination:
        address(false);
        return;
    case Net::IpAddress:
        if (!address(true)) {
            address(false);
        }
        return;
    default:
        return;
    }
}

void ipv6(const FieldFrame& f, const Field& field, ValueSink& sink) {
    const FrameFacts& facts = f.facts();
    const Ipv6Addresses* addresses = f.frame().ipv6Addresses();
    if (facts.family() != AddressFamily::IPv6 || addresses == nullptr) {
        return;
    }
    const auto which = static_cast<Net>(field.parameter);
    const bool fromFacts = which == Net::Ipv6 || which == Net::Ipv6Source ||
                           which == Net::Ipv6Destination || which == Net::Ipv6Address;
    const auto packet = fromFacts ? f.givenPacket() : f.packet();
    const ByteCursor bytes(packet);
    const std::size_t ip = packet.empty() ? LocatedPayload::none : locateLayers(packet, facts.linkType).networkOffset;
    auto address = [&](bool source) {
        if ((source ? facts.sourceCaptured : facts.destinationCaptured) == 0) {
            return false;
        }
        Value v;
        v.kind = FieldKind::IPv6;
        v.address = source ? addresses->source : addresses->destination;
        if (ip != LocatedPayload::none) {
            v.offset = static_cast<std::int32_t>(ip + (source ? 8 : 24));
            v.length = 16;
        }
        return sink.take(v);
    };
    auto header = [&](std::size_t offset, int width) {
        return word(sink, field, bytes, ip == LocatedPayload::none ? ip : ip + offset, width);
    };
    switch (which) {
    case Net::Ipv6:
        put::text(sink, field,
                   "Internet Protocol Version 6, Src: " + ipv6Text(addresses->source) +
                       ", Dst: " + ipv6Text(addresses->destination),
                   {}, ip == LocatedPayload::none ? -1 : static_cast<int>(ip),
                   ip == LocatedPayload::none ? 0 : 40);
        return;
    case Net::Ipv6Version: {
        const auto first = ip == LocatedPayload::none ? std::nullopt : bytes.u8(ip);
        if (first) {
            put::number(sink, field, *first >> 4, static_cast<int>(ip), 1);
        }
        return;
    }
    case Net::Ipv6Class:
        header(0, 4);
        return;
    case Net::Ipv6Flow:
        header(1, 3);
        return;
    case Net::Ipv6PayloadLength:
        header(4, 2);
        return;
    case Net::Ipv6Next:
        header(6, 1);
        return;
    case Net::Ipv6HopLimit:
        header(7, 1);
        return;
    case Net::Ipv6Source:
        address(true);
        return;
    case Net::Ipv6Destination:
        address(false);
        return;
    case Net::Ipv6Address:
        if (!address(true)) {
            address(false);
        }
        return;
    default:
        return;
    }
}

void udp(const FieldFrame& f, const Field& field, ValueSink& sink) {
    const FrameFacts& facts = f.facts();
    if (facts.portsCaptured == 0 || facts.kind() == FrameKind::NotIax) {
        return;
    }
    // The UDP header lies just before the payload.
    const int header = facts.payloadOffset >= 8 ? facts.payloadOffset - 8 : -1;
    auto at = [&](int offset) { return header < 0 ? -1 : header + offset; };
    switch (static_cast<Net>(field.parameter)) {
    case Net::Udp:
        put::text(sink, field,
                   "User Datagram Protocol, Src Port: " + std::to_string(facts.sourcePort) +
                       ", Dst Port: " + std::to_string(facts.destinationPort),
                   {}, at(0), header < 0 ? 0 : 8);
        return;
    case Net::UdpSource:
        put::number(sink, field, facts.sourcePort, at(0), 2);
        return;
    case Net::UdpDestination:
        put::number(sink, field, facts.destinationPort, at(2), 2);
        return;
    case Net::UdpPort:
        if (!put::number(sink, field, facts.sourcePort, at(0), 2)) {
            put::number(sink, field, facts.destinationPort, at(2), 2);
        }
        return;
    case Net::UdpLength:
        if (facts.udpLengthCaptured != 0) {
            put::number(sink, field, facts.udpLength, at(4), 2);
        }
        return;
    case Net::UdpChecksum: {
        const auto packet = f.packet();
        const ByteCursor bytes(packet);
        if (header >= 0) {
            if (const auto checksum = bytes.be16(static_cast<std::size_t>(header) + 6)) {
                put::number(sink, field, *checksum, at(6), 2);
            }
        }
        return;
    }
    default:
        return;
    }
}

} // namespace

void addNetworkFields(std::vector<Field>& fields) {
    using K = FieldKind;
    constexpr auto Dec = FieldBase::Decimal;
    constexpr auto Hex = FieldBase::Hexadecimal;
    constexpr auto None = FieldBase::None;
    auto add = [&](const char* name, const char* label, K kind, FieldBase base, Net which,
                   Reader read, const char* protocol, std::uint64_t mask = 0,
                   std::uint8_t needs = NeedsCaptureFile, Show show = Shown) {
        fields.push_back({name, label, kind, base, mask, {}, protocol, read,
                          static_cast<int>(which), needs, show, Group::None, {}});
        const std::string_view field = name;
        fields.back().parent = field.starts_with("ip.dsfield.") ? "ip.dsfield"
                               : field.starts_with("ip.flags.") ? "ip.flags"
                                                                : "";
    };
    add("ip", "Internet Protocol Version 4", K::Protocol, None, Net::Ip, ipv4, "ip", 0,
        NeedsNothing);
    add("ip.version", "Version", K::Unsigned8, Dec, Net::IpVersion, ipv4, "ip");
    add("ip.hdr_len", "Header Length", K::Unsigned8, Dec, Net::IpHeaderLength, ipv4, "ip");
    add("ip.dsfield", "Differentiated Services Field", K::Unsigned8, Hex, Net::IpDsField, ipv4,
        "ip");
    add("ip.dsfield.dscp", "Differentiated Services Codepoint", K::Unsigned8, Dec, Net::IpDscp,
        ipv4, "ip", 0xFC);
    add("ip.dsfield.ecn", "Explicit Congestion Notification", K::Unsigned8, Dec, Net::IpEcn, ipv4,
        "ip", 0x03);
    add("ip.len", "Total Length", K::Unsigned16, Dec, Net::IpLength, ipv4, "ip");
    add("ip.id", "Identification", K::Unsigned16, FieldBase::HexadecimalAndDecimal, Net::IpId, ipv4,
        "ip");
    add("ip.flags", "Flags", K::Unsigned8, Hex, Net::IpFlags, ipv4, "ip", 0xE0);
    add("ip.flags.rb", "Reserved bit", K::Boolean, None, Net::IpReserved, ipv4, "ip", 0x80);
    add("ip.flags.df", "Don't fragment", K::Boolean, None, Net::IpDontFragment, ipv4, "ip", 0x40);
    add("ip.flags.mf", "More fragments", K::Boolean, None, Net::IpMoreFragments, ipv4, "ip", 0x20);
    add("ip.frag_offset", "Fragment Offset", K::Unsigned16, Dec, Net::IpFragmentOffset, ipv4, "ip",
        0x1FFF);
    add("ip.ttl", "Time to Live", K::Unsigned8, Dec, Net::IpTtl, ipv4, "ip");
    add("ip.proto", "Protocol", K::Unsigned8, Dec, Net::IpProtocol, ipv4, "ip");
    add("ip.checksum", "Header Checksum", K::Unsigned16, Hex, Net::IpChecksum, ipv4, "ip");
    add("ip.src", "Source Address", K::IPv4, None, Net::IpSource, ipv4, "ip", 0, NeedsNothing);
    add("ip.dst", "Destination Address", K::IPv4, None, Net::IpDestination, ipv4, "ip", 0,
        NeedsNothing);
    add("ip.addr", "Source or Destination Address", K::IPv4, None, Net::IpAddress, ipv4, "ip", 0,
        NeedsNothing, Hidden);
    add("ipv6", "Internet Protocol Version 6", K::Protocol, None, Net::Ipv6, ipv6, "ipv6", 0,
        NeedsNothing);
    add("ipv6.version", "Version", K::Unsigned8, Dec, Net::Ipv6Version, ipv6, "ipv6");
    add("ipv6.tclass", "Traffic Class", K::Unsigned32, Hex, Net::Ipv6Class, ipv6, "ipv6",
        0x0FF00000);
    add("ipv6.flow", "Flow Label", K::Unsigned24, Hex, Net::Ipv6Flow, ipv6, "ipv6", 0x0FFFFF);
    add("ipv6.plen", "Payload Length", K::Unsigned16, Dec, Net::Ipv6PayloadLength, ipv6, "ipv6");
    add("ipv6.nxt", "Next Header", K::Unsigned8, Dec, Net::Ipv6Next, ipv6, "ipv6");
    add("ipv6.hlim", "Hop Limit", K::Unsigned8, Dec, Net::Ipv6HopLimit, ipv6, "ipv6");
    add("ipv6.src", "Source Address", K::IPv6, None, Net::Ipv6Source, ipv6, "ipv6", 0,
        NeedsNothing);
    add("ipv6.dst", "Destination Address", K::IPv6, None, Net::Ipv6Destination, ipv6, "ipv6", 0,
        NeedsNothing);
    add("ipv6.addr", "Source or Destination Address", K::IPv6, None, Net::Ipv6Address, ipv6,
        "ipv6", 0, NeedsNothing, Hidden);
    add("udp", "User Datagram Protocol", K::Protocol, None, Net::Udp, udp, "udp", 0, NeedsNothing);
    constexpr auto Port = FieldBase::Port;
    add("udp.srcport", "Source Port", K::Unsigned16, Port, Net::UdpSource, udp, "udp", 0,
        NeedsNothing);
    add("udp.dstport", "Destination Port", K::Unsigned16, Port, Net::UdpDestination, udp, "udp", 0,
        NeedsNothing);
    add("udp.port", "Source or Destination Port", K::Unsigned16, Port, Net::UdpPort, udp, "udp", 0,
        NeedsNothing, Hidden);
    add("udp.length", "Length", K::Unsigned16, Dec, Net::UdpLength, udp, "udp", 0, NeedsNothing);
    add("udp.checksum", "Checksum", K::Unsigned16, Hex, Net::UdpChecksum, udp, "udp");
}

} // namespace fields
