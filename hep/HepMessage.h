#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

// One HEP v3 message: "HEP3", its whole length, then chunks of a vendor, a
// type, a length and a value. What Quorvex sends and reads of it.
namespace hep {

// The protocol types of chunk 0x000b that Quorvex sends.
enum class Payload : std::uint8_t { Iax = 10, QosReport = 34, Log = 100 };

// The largest message: its length field has 16 bits.
inline constexpr std::size_t maxMessageBytes = 65535;

struct Message {
    bool ipv6 = false;
    // The first 4 bytes for IPv4.
    std::array<std::uint8_t, 16> source{}, destination{};
    std::uint16_t sourcePort = 0, destinationPort = 0;
    std::uint32_t seconds = 0, microseconds = 0;
    std::uint8_t protocolType = static_cast<std::uint8_t>(Payload::Iax);
    std::uint32_t captureId = 0;
    std::string authKey;               // chunk 0x000e, left out where empty
    std::string correlationId;         // chunk 0x0011, left out where empty
    std::string node;                  // chunk 0x0013, left out where empty
    std::optional<std::uint16_t> mos;  // MOS x 100, chunk 0x0020
    std::optional<std::uint16_t> vlan; // chunk 0x0012
    std::vector<std::uint8_t> payload; // chunk 0x000f, unchanged
};

// The message as bytes at the end of `out`; false, writing nothing, where it
// would pass maxMessageBytes.
bool encode(const Message& message, std::vector<std::uint8_t>& out);

// Why a message could not be read.
enum class ReadError : std::uint8_t {
    None,
    NotHep,    // no "HEP3" at the start
    Truncated, // shorter than its length field says: cut by the capture
    Malformed, // a chunk whose length runs past the message, or is under 6
};
[[nodiscard]] const char* readErrorText(ReadError error);

// Reads a message at the start of `bytes` (further bytes are the next
// message's, as on a TCP stream). `length` is the message's length from its
// header. Chunks of other vendors and unknown types are passed over; a chunk
// of a known type but the wrong size leaves its field unset.
struct Read {
    Message message;
    std::size_t length = 0;
    ReadError error = ReadError::None;
};
[[nodiscard]] Read decode(std::span<const std::uint8_t> bytes);

} // namespace hep
