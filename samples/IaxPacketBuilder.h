#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

// Builds IAX2 packets as they appear on the wire (Ethernet, IPv4, UDP,
// IAX2), for the sample capture, the tests and the benchmarks.
namespace iaxgen {

using Bytes = std::vector<std::uint8_t>;

struct Endpoint {
    std::array<std::uint8_t, 4> address;
    std::uint16_t port;
};

struct FullHeader {
    std::uint16_t sourceCall = 1;
    std::uint16_t destinationCall = 0;
    bool retransmission = false;
    std::uint32_t timestamp = 0;
    std::uint8_t outSequence = 0;
    std::uint8_t inSequence = 0;
    std::uint8_t frameType = 6;
    std::uint8_t subclass = 0;
};

// Information elements, appended in order.
class Elements final {
public:
    Elements& text(std::uint8_t id, std::string_view value);
    Elements& u8(std::uint8_t id, std::uint8_t value);
    Elements& u16(std::uint8_t id, std::uint16_t value);
    Elements& u32(std::uint8_t id, std::uint32_t value);
    Elements& raw(std::uint8_t id, std::span<const std::uint8_t> value);
    // A 16-byte IPv4 socket address (family, port, address, zero padding).
    Elements& socketAddress(std::uint8_t id, Endpoint endpoint);
    // The packed date: seconds / 2, minutes, hours, day, month, years since 2000.
    Elements& datetime(std::uint8_t id, int year, int month, int day, int hour, int minute,
                       int second);
    [[nodiscard]] const Bytes& bytes() const { return bytes_; }

private:
    Bytes bytes_;
};

Bytes fullFrame(const FullHeader& header, std::span<const std::uint8_t> body = {});
Bytes miniFrame(std::uint16_t sourceCall, std::uint16_t timestamp,
                std::span<const std::uint8_t> media = {});
// Ethernet + IPv4 (no options, checksum set) + UDP (no checksum) around `payload`.
Bytes udpPacket(Endpoint source, Endpoint destination, std::span<const std::uint8_t> payload);

} // namespace iaxgen
