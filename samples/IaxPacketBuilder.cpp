#include "samples/IaxPacketBuilder.h"

#include <algorithm>

namespace iaxgen {
namespace {

void putBe16(Bytes& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value));
}

void putBe32(Bytes& out, std::uint32_t value) {
    putBe16(out, static_cast<std::uint16_t>(value >> 16));
    putBe16(out, static_cast<std::uint16_t>(value));
}

std::uint16_t ipChecksum(std::span<const std::uint8_t> header) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i + 1 < header.size(); i += 2) {
        sum += static_cast<std::uint32_t>(header[i] << 8 | header[i + 1]);
    }
    while (sum > 0xFFFF) {
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    return static_cast<std::uint16_t>(~sum);
}

} // namespace

Elements& Elements::raw(std::uint8_t id, std::span<const std::uint8_t> value) {
    bytes_.push_back(id);
    bytes_.push_back(static_cast<std::uint8_t>(value.size()));
    bytes_.insert(bytes_.end(), value.begin(), value.end());
    return *this;
}

Elements& Elements::text(std::uint8_t id, std::string_view value) {
    return raw(id, {reinterpret_cast<const std::uint8_t*>(value.data()), value.size()});
}

Elements& Elements::u8(std::uint8_t id, std::uint8_t value) {
    return raw(id, std::span<const std::uint8_t>(&value, 1));
}

Elements& Elements::u16(std::uint8_t id, std::uint16_t value) {
    Bytes v;
    putBe16(v, value);
    return raw(id, v);
}

Elements& Elements::u32(std::uint8_t id, std::uint32_t value) {
    Bytes v;
    putBe32(v, value);
    return raw(id, v);
}

Elements& Elements::socketAddress(std::uint8_t id, Endpoint endpoint) {
    Bytes v;
    putBe16(v, 2); // AF_INET
    putBe16(v, endpoint.port);
    v.insert(v.end(), endpoint.address.begin(), endpoint.address.end());
    v.resize(16, 0);
    return raw(id, v);
}

Elements& Elements::datetime(std::uint8_t id, int year, int month, int day, int hour, int minute,
                             int second) {
    const auto packed = static_cast<std::uint32_t>((year - 2000) << 25 | month << 21 | day << 16 |
                                                   hour << 11 | minute << 5 | second / 2);
    return u32(id, packed);
}

Bytes fullFrame(const FullHeader& header, std::span<const std::uint8_t> body) {
    Bytes out;
    out.reserve(12 + body.size());
    putBe16(out, static_cast<std::uint16_t>(0x8000 | (header.sourceCall & 0x7FFF)));
    putBe16(out, static_cast<std::uint16_t>((header.retransmission ? 0x8000 : 0) |
                                            (header.destinationCall & 0x7FFF)));
    putBe32(out, header.timestamp);
    out.push_back(header.outSequence);
    out.push_back(header.inSequence);
    out.push_back(header.frameType);
    out.push_back(header.subclass);
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

Bytes miniFrame(std::uint16_t sourceCall, std::uint16_t timestamp,
                std::span<const std::uint8_t> media) {
    Bytes out;
    putBe16(out, sourceCall & 0x7FFF);
    putBe16(out, timestamp);
    out.insert(out.end(), media.begin(), media.end());
    return out;
}

Bytes udpPacket(Endpoint source, Endpoint destination, std::span<const std::uint8_t> payload) {
    const auto udpLength = static_cast<std::uint16_t>(8 + payload.size());
    Bytes out(42 + payload.size(), 0);
    auto put16 = [&out](std::size_t at, std::uint16_t value) {
        out[at] = static_cast<std::uint8_t>(value >> 8);
        out[at + 1] = static_cast<std::uint8_t>(value);
    };
    // Ethernet: locally administered addresses, type IPv4.
    out[0] = 0x02;
    out[5] = destination.address[3];
    out[6] = 0x02;
    out[11] = source.address[3];
    put16(12, 0x0800);
    // IPv4: version 4, 20-byte header, don't fragment, TTL 64, UDP.
    out[14] = 0x45;
    put16(16, static_cast<std::uint16_t>(20 + udpLength));
    put16(20, 0x4000);
    out[22] = 64;
    out[23] = 17;
    std::copy(source.address.begin(), source.address.end(), out.begin() + 26);
    std::copy(destination.address.begin(), destination.address.end(), out.begin() + 30);
    put16(24, ipChecksum(std::span(out).subspan(14, 20)));
    // UDP, without a checksum.
    put16(34, source.port);
    put16(36, destination.port);
    put16(38, udpLength);
    std::copy(payload.begin(), payload.end(), out.begin() + 42);
    return out;
}

} // namespace iaxgen
