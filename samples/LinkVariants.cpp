#include "samples/LinkVariants.h"

#include <algorithm>

namespace iaxgen {
namespace {

void put16(Bytes& out, std::size_t at, std::uint16_t value) {
    out[at] = static_cast<std::uint8_t>(value >> 8);
    out[at + 1] = static_cast<std::uint8_t>(value);
}

Bytes concat(std::initializer_list<std::span<const std::uint8_t>> parts) {
    Bytes out;
    for (const auto part : parts) {
        out.insert(out.end(), part.begin(), part.end());
    }
    return out;
}

// The IPv4 header and everything after it, from the Ethernet original.
Bytes ipv4Part(Endpoint source, Endpoint destination, std::span<const std::uint8_t> payload) {
    const Bytes ethernet = udpPacket(source, destination, payload);
    return Bytes(ethernet.begin() + 14, ethernet.end());
}

Bytes withOptions(Bytes ip) {
    const Bytes options = {0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x00}; // NOPs, end
    ip.insert(ip.begin() + 20, options.begin(), options.end());
    ip[0] = 0x47; // 28-byte header
    put16(ip, 2, static_cast<std::uint16_t>(ip.size()));
    put16(ip, 10, 0);
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < 28; i += 2) {
        sum += static_cast<std::uint32_t>(ip[i] << 8 | ip[i + 1]);
    }
    while (sum > 0xFFFF) {
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    put16(ip, 10, static_cast<std::uint16_t>(~sum));
    return ip;
}

// IPv6 with an empty destination-options header before UDP, whose checksum
// IPv6 requires.
Bytes ipv6Part(Endpoint source, Endpoint destination, std::span<const std::uint8_t> payload) {
    const auto from = ipv6Of(source);
    const auto to = ipv6Of(destination);
    const auto udpLength = static_cast<std::uint16_t>(8 + payload.size());
    Bytes udp(8, 0);
    put16(udp, 0, source.port);
    put16(udp, 2, destination.port);
    put16(udp, 4, udpLength);
    udp.insert(udp.end(), payload.begin(), payload.end());
    std::uint32_t sum = 17 + udpLength;
    for (const auto* address : {&from, &to}) {
        for (std::size_t i = 0; i < 16; i += 2) {
            sum += static_cast<std::uint32_t>((*address)[i] << 8 | (*address)[i + 1]);
        }
    }
    for (std::size_t i = 0; i < udp.size(); i += 2) {
        sum += static_cast<std::uint32_t>(udp[i] << 8 | (i + 1 < udp.size() ? udp[i + 1] : 0));
    }
    while (sum > 0xFFFF) {
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    put16(udp, 6, static_cast<std::uint16_t>(~sum == 0 ? 0xFFFF : ~sum));

    const Bytes options = {17, 0, 1, 4, 0, 0, 0, 0}; // next: UDP; a 4-byte PadN
    Bytes header(40, 0);
    header[0] = 0x60;
    put16(header, 4, static_cast<std::uint16_t>(options.size() + udp.size()));
    header[6] = 60; // destination options
    header[7] = 64;
    std::copy(from.begin(), from.end(), header.begin() + 8);
    std::copy(to.begin(), to.end(), header.begin() + 24);
    return concat({header, options, udp});
}

Bytes ethernet(std::uint16_t type, std::span<const std::uint16_t> tags,
               std::span<const std::uint8_t> network) {
    Bytes header = {0x02, 0, 0, 0, 0, 2, 0x02, 0, 0, 0, 0, 1};
    for (const std::uint16_t tag : tags) {
        header.push_back(static_cast<std::uint8_t>(tag >> 8));
        header.push_back(static_cast<std::uint8_t>(tag));
        header.push_back(0x00);
        header.push_back(0x2A); // VLAN 42
    }
    header.push_back(static_cast<std::uint8_t>(type >> 8));
    header.push_back(static_cast<std::uint8_t>(type));
    return concat({header, network});
}

Bytes cooked(std::uint16_t protocol, std::span<const std::uint8_t> network) {
    Bytes header = {0x00, 0x00, 0x00, 0x01, 0x00, 0x06, 0x02, 0, 0, 0, 0, 1, 0, 0};
    header.push_back(static_cast<std::uint8_t>(protocol >> 8));
    header.push_back(static_cast<std::uint8_t>(protocol));
    return concat({header, network});
}

Bytes cooked2(std::uint16_t protocol, std::span<const std::uint8_t> network) {
    Bytes header = {static_cast<std::uint8_t>(protocol >> 8),
                    static_cast<std::uint8_t>(protocol),
                    0,
                    0,
                    0,
                    0,
                    0,
                    2,
                    0x00,
                    0x01,
                    0x00,
                    0x06,
                    0x02,
                    0,
                    0,
                    0,
                    0,
                    1,
                    0,
                    0};
    return concat({header, network});
}

} // namespace

const std::vector<VariantInfo>& variants() {
    static const std::vector<VariantInfo> list = {
        {Variant::Ethernet, "ethernet", 1},
        {Variant::LinuxCooked, "cooked", 113},
        {Variant::LinuxCooked2, "cooked2", 276},
        {Variant::Vlan, "vlan", 1},
        {Variant::QinQ, "qinq", 1},
        {Variant::RawIp, "raw", 12},
        {Variant::BsdLoopback, "loopback", 0},
        {Variant::Ipv4Options, "ipv4-options", 1},
        {Variant::Ipv6Ethernet, "ipv6", 1},
        {Variant::Ipv6Cooked, "ipv6-cooked", 113},
    };
    return list;
}

Bytes reframe(Variant variant, std::span<const std::uint8_t> packet) {
    Endpoint source{{packet[26], packet[27], packet[28], packet[29]},
                    static_cast<std::uint16_t>(packet[34] << 8 | packet[35])};
    Endpoint destination{{packet[30], packet[31], packet[32], packet[33]},
                         static_cast<std::uint16_t>(packet[36] << 8 | packet[37])};
    return variantPacket(variant, source, destination, packet.subspan(42));
}

std::array<std::uint8_t, 16> ipv6Of(const Endpoint& endpoint) {
    std::array<std::uint8_t, 16> address{0x20, 0x01, 0x0D, 0xB8};
    std::copy(endpoint.address.begin(), endpoint.address.end(), address.begin() + 12);
    return address;
}

Bytes variantPacket(Variant variant, Endpoint source, Endpoint destination,
                    std::span<const std::uint8_t> payload) {
    const std::uint16_t vlan[] = {0x8100};
    const std::uint16_t qinq[] = {0x88A8, 0x8100};
    switch (variant) {
    case Variant::Ethernet:
        return udpPacket(source, destination, payload);
    case Variant::LinuxCooked:
        return cooked(0x0800, ipv4Part(source, destination, payload));
    case Variant::LinuxCooked2:
        return cooked2(0x0800, ipv4Part(source, destination, payload));
    case Variant::Vlan:
        return ethernet(0x0800, vlan, ipv4Part(source, destination, payload));
    case Variant::QinQ:
        return ethernet(0x0800, qinq, ipv4Part(source, destination, payload));
    case Variant::RawIp:
        return ipv4Part(source, destination, payload);
    case Variant::BsdLoopback:
        return concat({Bytes{2, 0, 0, 0}, ipv4Part(source, destination, payload)});
    case Variant::Ipv4Options:
        return ethernet(0x0800, {}, withOptions(ipv4Part(source, destination, payload)));
    case Variant::Ipv6Ethernet:
        return ethernet(0x86DD, {}, ipv6Part(source, destination, payload));
    case Variant::Ipv6Cooked:
        return cooked(0x86DD, ipv6Part(source, destination, payload));
    }
    return {};
}

} // namespace iaxgen
