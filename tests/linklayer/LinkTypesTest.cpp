#include "linklayer/LinkTypes.h"
#include "linklayer/PacketLayers.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// A UDP datagram over IPv4 behind the link header each type has: every type
// in the table finds the IP and UDP headers where they are.
std::vector<std::uint8_t> behind(const LinkType& type) {
    std::vector<std::uint8_t> link;
    switch (type.header) {
    case LinkHeader::Ethernet:
        link.assign(14, 0);
        link[12] = 0x08; // IPv4
        break;
    case LinkHeader::Cooked:
        link.assign(16, 0);
        link[14] = 0x08;
        break;
    case LinkHeader::Cooked2:
        link.assign(20, 0);
        link[0] = 0x08;
        break;
    case LinkHeader::Loopback:
        link = type.familyInNetworkOrder ? std::vector<std::uint8_t>{0, 0, 0, 2}
                                         : std::vector<std::uint8_t>{2, 0, 0, 0};
        break;
    case LinkHeader::RawIp:
    case LinkHeader::Unknown:
        break;
    }
    std::vector<std::uint8_t> ip(20, 0);
    ip[0] = 0x45;
    ip[3] = 20 + 8 + 4; // total length
    ip[9] = 17;         // UDP
    const std::vector<std::uint8_t> udp{0x11, 0xD9, 0x11, 0xD9, 0, 12, 0, 0, 1, 2, 3, 4};
    link.insert(link.end(), ip.begin(), ip.end());
    link.insert(link.end(), udp.begin(), udp.end());
    return link;
}

TEST(LinkTypes, EveryTypeInTheTableIsReadToItsUdpPayload) {
    for (const LinkType& type : linkTypes()) {
        if (type.raw == RawVersion::IPv6) {
            continue; // an IPv4 packet is not what this type carries
        }
        const auto packet = behind(type);
        const std::size_t linkLength = packet.size() - 32;
        FrameFacts facts;
        const LocatedPayload located = locateIaxPayload(ByteCursor{packet}, type.number, facts);
        EXPECT_EQ(located.linkType, linkTypeOf(type.number)) << type.number;
        EXPECT_TRUE(located.isUdp) << type.number;
        EXPECT_EQ(located.networkOffset, linkLength) << type.number;
        EXPECT_EQ(located.udpOffset, linkLength + 20) << type.number;
        EXPECT_EQ(facts.sourcePort, 4569) << type.number;
        EXPECT_EQ(located.payload.size(), 4u) << type.number;
    }
    FrameFacts facts;
    const auto unknown = locateLayers(std::vector<std::uint8_t>(40, 0), 147); // DLT_USER0
    EXPECT_EQ(unknown.linkType, nullptr);
    EXPECT_FALSE(unknown.isUdp);
}

} // namespace
