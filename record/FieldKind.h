#pragma once

#include <cstdint>

// What kind of value a packet field holds and how its number is written:
// the vocabulary of packet analyzers' field tables (Wireshark's FT_* types
// and BASE_* displays), so that a field is typed, shown, filtered and
// printed as those tools do.
enum class FieldKind : std::uint8_t {
    Protocol,     // a protocol's own item (`udp`)
    None,         // present or not, no value (an element of no length)
    Boolean,      // a flag, usually a bit of a larger word
    Unsigned8,
    Unsigned16,
    Unsigned24,
    Unsigned32,
    Unsigned64,
    Signed16,
    String,       // text
    Bytes,        // raw bytes
    IPv4,
    IPv6,
    Ether,        // a 6-byte Ethernet address
    AbsoluteTime, // a moment, in seconds and nanoseconds since 1970
    RelativeTime, // a duration, in seconds and nanoseconds
    FrameNumber,  // a frame of the capture, 1-based
};

enum class FieldBase : std::uint8_t {
    None,
    Decimal,
    Hexadecimal,
    HexadecimalAndDecimal, // printed in hexadecimal, shown in both
    Port,                  // a UDP port: decimal
};

// A number's name in a field's value names, and the text the frame table
// shows for it where that differs or the field has no name for it (nullptr
// where there is none).
struct ValueName {
    std::uint64_t value;
    const char* name;
    const char* shown = nullptr;
};
