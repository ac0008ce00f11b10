#pragma once

#include "linklayer/ByteCursor.h"
#include "linklayer/LinkTypes.h"
#include "record/FrameFacts.h"

#include <array>
#include <optional>
#include <span>

// The link and network layers of a packet: where its addresses, ports and
// IAX2 payload are.
//
// Link layers: Ethernet with any number of 802.1Q/802.1ad tags, Linux cooked
// v1 and v2, raw IP (IPv4 or IPv6 by the version nibble), and BSD loopback
// (the address family in host or network order). Network layers: IPv4 at its
// header length (options skipped) and IPv6 with its hop-by-hop, routing,
// destination-options and fragment headers walked. UDP over either carries
// the IAX2 payload.
//
//    Ethernet   | dst (6) | src (6) | [tag (4)]... | type (2) | network...
//    cooked v1  | type, address type, length, address (12) | protocol (2) |
//    cooked v2  | protocol (2) | reserved (2) | ifindex (4) | ... (12 in all) |
//    loopback   | family (4) | network...
//    IPv4       |4|IHL| ... |flags,offset| TTL | proto | ... | src | dst | options |
//    IPv6       |6| ... | payload length | next header | hop | src (16) | dst (16) |
//    UDP        | source port | destination port | length | checksum | payload...
//
// A UDP payload that is a whole HEP v3 message of type 10 (IAX), as capture
// agents send to collectors, opens as the packet it carries: its family,
// addresses, ports, payload and the time the agent captured it are the
// record's; the outer ones are left to the hep fields. A HEP message of
// another type (a report, a log) is a packet of its own class.
//
// A packet that is not UDP over IP still becomes a record: its kind is
// NotIax with a PacketClass saying what it is. Where the capture ends inside
// the IPv4 header, the addresses are read where they would be and the kind is
// Truncated, as for every packet cut short.
//
// Offsets past what was captured are kept where the headers would be; what
// reads from them checks every byte.
struct LocatedPayload {
    static constexpr std::size_t none = static_cast<std::size_t>(-1);
    static constexpr std::size_t maxTags = 8; // further tags are passed over, not listed
    struct Tag {
        std::size_t offset; // of its TPID; the TCI follows
        bool provider;      // an 802.1ad (or old 0x9100) outer tag
    };
    const LinkType* linkType = nullptr; // nullptr: a link layer not read
    std::array<Tag, maxTags> tags{};    // an Ethernet header's VLAN tags
    std::size_t tagCount = 0;
    bool isUdp = false;
    ByteCursor payload; // the captured UDP payload
    std::optional<Ipv6Addresses> ipv6;
    std::size_t networkOffset = none; // where the IP header starts
    std::size_t udpOffset = none;     // and the UDP header
    // Where a HEP v3 message starts that carried the IAX2 packet (HEP type
    // 10): the facts, the payload and `ipv6` are then the inner packet's.
    std::size_t hepOffset = none;
};
// Reads the layers into `facts` (addresses, ports, lengths, or what the
// packet is if not IAX2).
LocatedPayload locateIaxPayload(const ByteCursor& packet, std::uint16_t linkType,
                                FrameFacts& facts);
// The same where only the layout is wanted.
[[nodiscard]] LocatedPayload locateLayers(std::span<const std::uint8_t> packet,
                                          std::uint16_t linkType);
