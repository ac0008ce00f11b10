// Link-layer fields: Ethernet with its VLAN tags, Linux cooked headers and
// BSD loopback. Records do not keep link-layer headers, so these are read
// from the packet's bytes (back from the capture file where need be).
//
//   Ethernet   | dst (6) | src (6) | [TPID (2) | PCP:3 DEI:1 VID:12 ]... | type (2) |
//   cooked v1  | packet type (2) | address type (2) | length (2) | address (8) | protocol (2) |
//   cooked v2  | protocol (2) | reserved (2) | ifindex (4) | address type (2) |
//              | packet type (1) | length (1) | address (8) |
//   loopback   | family (4, host or network order) |
#include "linklayer/ByteCursor.h"
#include "fields/FieldRegistry.h"
#include "linklayer/PacketLayers.h"

#include <cstdio>

namespace fields {
namespace {

enum class Link {
    Ethernet,
    EthernetDestination,
    EthernetSource,
    EthernetAddress,
    EthernetType,
    Vlan,
    VlanPriority,
    VlanDei,
    VlanId,
    VlanType,
    Provider,
    ProviderPriority,
    ProviderDei,
    ProviderId,
    Cooked,
    CookedPacketType,
    CookedAddressType,
    CookedAddressLength,
    CookedSource,
    CookedProtocol,
    CookedInterface,
    Loopback,
    LoopbackFamily,
};

bool ether(ValueSink& sink, const Field&, const ByteCursor& bytes, std::size_t at) {
    const auto mac = bytes.fixed<6>(at);
    if (!mac) {
        return false;
    }
    Value v;
    v.kind = FieldKind::Ether;
    std::copy(mac->begin(), mac->end(), v.address.begin());
    v.offset = static_cast<std::int32_t>(at);
    v.length = 6;
    return sink.take(v);
}

bool word(ValueSink& sink, const Field& field, const ByteCursor& bytes, std::size_t at, int width,
          int instance = -1) {
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
    return put::number(sink, field, value, static_cast<int>(at), width, instance);
}

std::string etherText(const ByteCursor& bytes, std::size_t at) {
    const auto mac = bytes.fixed<6>(at);
    if (!mac) {
        return "?";
    }
    char text[18];
    std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", (*mac)[0], (*mac)[1],
                  (*mac)[2], (*mac)[3], (*mac)[4], (*mac)[5]);
    return text;
}

void tagFields(const FieldFrame& f, const Field& field, ValueSink& sink, const LocatedPayload& layout,
               const ByteCursor& bytes, Link which) {
    const bool provider = which >= Link::Provider;
    for (std::size_t i = 0; i < layout.tagCount; ++i) {
        const LocatedPayload::Tag& tag = layout.tags[i];
        if (tag.provider != provider) {
            continue;
        }
        const auto tci = bytes.be16(tag.offset + 2);
        if (!tci) {
            return;
        }
        const int instance = static_cast<int>(i);
        bool stop = false;
        switch (which) {
        case Link::Vlan:
        case Link::Provider: {
            const std::string summary =
                (provider ? "IEEE 802.1ad, ID: " + std::to_string(*tci & 0x0FFF)
                          : "802.1Q Virtual LAN, PRI: " + std::to_string(*tci >> 13) +
                                ", DEI: " + std::to_string((*tci >> 12) & 1) +
                                ", ID: " + std::to_string(*tci & 0x0FFF));
            stop = put::text(sink, field, summary, {}, static_cast<int>(tag.offset + 2), 4,
                              instance);
            break;
        }
        case Link::VlanType:
            stop = word(sink, field, bytes, tag.offset + 4, 2, instance);
            break;
        default:
            stop = word(sink, field, bytes, tag.offset + 2, 2, instance);
            break;
        }
        if (stop) {
            return;
        }
    }
    (void)f;
}

void link(const FieldFrame& f, const Field& field, ValueSink& sink) {
    const auto packet = f.packet();
    if (packet.empty()) {
        return;
    }
    const ByteCursor bytes(packet);
    const LocatedPayload layout = locateLayers(packet, f.facts().linkType);
    const LinkHeader header = layout.linkType ? layout.linkType->header : LinkHeader::Unknown;
    const auto which = static_cast<Link>(field.parameter);
    switch (which) {
    case Link::Ethernet:
    case Link::EthernetDestination:
    case Link::EthernetSource:
    case Link::EthernetAddress:
    case Link::EthernetType:
        if (header != LinkHeader::Ethernet || !bytes.has(0, 14)) {
            return;
        }
        if (which == Link::Ethernet) {
            const std::string source = etherText(bytes, 6);
            const std::string destination = etherText(bytes, 0);
            put::text(sink, field,
                       "Ethernet II, Src: " + source + " (" + source + "), Dst: " + destination +
                           " (" + destination + ")",
                       {}, 0, 14);
        } else if (which == Link::EthernetType) {
            word(sink, field, bytes, 12, 2);
        } else if (which == Link::EthernetSource ||
                   (which == Link::EthernetAddress && !ether(sink, field, bytes, 0))) {
            ether(sink, field, bytes, 6);
        } else if (which == Link::EthernetDestination) {
            ether(sink, field, bytes, 0);
        }
        return;
    case Link::Vlan:
    case Link::VlanPriority:
    case Link::VlanDei:
    case Link::VlanId:
    case Link::VlanType:
    case Link::Provider:
    case Link::ProviderPriority:
    case Link::ProviderDei:
    case Link::ProviderId:
        tagFields(f, field, sink, layout, bytes, which);
        return;
    case Link::Cooked:
    case Link::CookedPacketType:
    case Link::CookedAddressType:
    case Link::CookedAddressLength:
    case Link::CookedSource:
    case Link::CookedProtocol:
    case Link::CookedInterface: {
        const bool two = header == LinkHeader::Cooked2;
        if ((header != LinkHeader::Cooked && !two) || !bytes.has(0, two ? 20 : 16)) {
            return;
        }
        switch (which) {
        case Link::Cooked:
            put::text(sink, field, two ? "Linux cooked capture v2" : "Linux cooked capture v1",
                       {}, 0, two ? 20 : 16);
            return;
        case Link::CookedPacketType:
            two ? word(sink, field, bytes, 10, 1) : word(sink, field, bytes, 0, 2);
            return;
        case Link::CookedAddressType:
            word(sink, field, bytes, two ? 8 : 2, 2);
            return;
        case Link::CookedAddressLength:
            two ? word(sink, field, bytes, 11, 1) : word(sink, field, bytes, 4, 2);
            return;
        case Link::CookedSource:
            if (bytes.u8(two ? 11 : 5) == 6) {
                ether(sink, field, bytes, two ? 12 : 6);
            }
            return;
        case Link::CookedProtocol:
            word(sink, field, bytes, two ? 0 : 14, 2);
            return;
        case Link::CookedInterface:
            if (two) {
                word(sink, field, bytes, 4, 4);
            }
            return;
        default:
            return;
        }
    }
    case Link::Loopback:
    case Link::LoopbackFamily: {
        const auto raw = bytes.fixed<4>(0);
        if (header != LinkHeader::Loopback || !raw) {
            return;
        }
        if (which == Link::Loopback) {
            put::text(sink, field, "", {}, 0, 4); // shown by its label, printed by its name
            return;
        }
        // Host order (DLT_NULL) or network order (DLT_LOOP).
        const bool network = layout.linkType->familyInNetworkOrder;
        std::uint32_t family = 0;
        for (int i = 0; i < 4; ++i) {
            family |= std::uint32_t{(*raw)[static_cast<std::size_t>(network ? 3 - i : i)]}
                      << (8 * i);
        }
        put::number(sink, field, family, 0, 4);
        return;
    }
    }
}

} // namespace

void addLinkFields(std::vector<Field>& fields) {
    using K = FieldKind;
    constexpr auto Dec = FieldBase::Decimal;
    constexpr auto Hex = FieldBase::Hexadecimal;
    auto add = [&](const char* name, const char* label, K kind, FieldBase base, Link which,
                   const char* protocol, std::uint64_t mask = 0, Show show = Shown) {
        fields.push_back({name, label, kind, base, mask, {}, protocol, link,
                          static_cast<int>(which), NeedsCaptureFile, show, Group::None, {}});
        const std::string_view tag = protocol;
        fields.back().group = tag == "vlan" || tag == "ieee8021ad" ? Group::Tag : Group::None;
    };
    add("eth", "Ethernet II", K::Protocol, FieldBase::None, Link::Ethernet, "eth");
    add("eth.dst", "Destination", K::Ether, FieldBase::None, Link::EthernetDestination, "eth");
    add("eth.src", "Source", K::Ether, FieldBase::None, Link::EthernetSource, "eth");
    add("eth.addr", "Address", K::Ether, FieldBase::None, Link::EthernetAddress, "eth", 0, Hidden);
    add("eth.type", "Type", K::Unsigned16, Hex, Link::EthernetType, "eth");
    add("ieee8021ad", "IEEE 802.1ad", K::Protocol, FieldBase::None, Link::Provider, "ieee8021ad");
    add("ieee8021ad.priority", "Priority", K::Unsigned16, Dec, Link::ProviderPriority, "ieee8021ad",
        0xE000);
    add("ieee8021ad.dei", "DEI", K::Unsigned16, Dec, Link::ProviderDei, "ieee8021ad", 0x1000);
    add("ieee8021ad.id", "ID", K::Unsigned16, Dec, Link::ProviderId, "ieee8021ad", 0x0FFF);
    add("vlan", "802.1Q Virtual LAN", K::Protocol, FieldBase::None, Link::Vlan, "vlan");
    add("vlan.priority", "Priority", K::Unsigned16, Dec, Link::VlanPriority, "vlan", 0xE000);
    add("vlan.dei", "DEI", K::Boolean, FieldBase::None, Link::VlanDei, "vlan", 0x1000);
    add("vlan.id", "ID", K::Unsigned16, Dec, Link::VlanId, "vlan", 0x0FFF);
    add("vlan.etype", "Type", K::Unsigned16, Hex, Link::VlanType, "vlan");
    add("sll", "Linux cooked capture", K::Protocol, FieldBase::None, Link::Cooked, "sll");
    add("sll.etype", "Protocol", K::Unsigned16, Hex, Link::CookedProtocol, "sll");
    add("sll.ifindex", "Interface index", K::Unsigned32, Dec, Link::CookedInterface, "sll");
    add("sll.hatype", "Link-layer address type", K::Unsigned16, Dec, Link::CookedAddressType, "sll");
    add("sll.pkttype", "Packet type", K::Unsigned16, Dec, Link::CookedPacketType, "sll");
    add("sll.halen", "Link-layer address length", K::Unsigned16, Dec, Link::CookedAddressLength,
        "sll");
    add("sll.src.eth", "Source", K::Ether, FieldBase::None, Link::CookedSource, "sll");
    add("null", "Null/Loopback", K::Protocol, FieldBase::None, Link::Loopback, "null");
    add("null.family", "Family", K::Unsigned32, Dec, Link::LoopbackFamily, "null");
}

} // namespace fields
