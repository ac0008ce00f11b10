#pragma once

#include "record/FieldKind.h"

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace fields {

// One value of a field in one frame, as a field's reader finds it. Text and
// bytes are valid while the value is visited.
struct Value {
    FieldKind kind = FieldKind::Unsigned32;
    std::uint64_t number = 0;              // integers (signed ones as two's complement), flags,
                                           // IPv4 in host order, frame numbers
    std::int64_t seconds = 0;              // times: whole seconds (negative for a negative
    std::int32_t nanoseconds = 0;          // duration, with nanoseconds of the same sign)
    std::array<std::uint8_t, 16> address{}; // IPv6, or the 6 bytes of an Ethernet address
    std::string_view text;                 // String: the value as Quorvex reads it (UTF-8)
    std::span<const std::uint8_t> bytes;   // Bytes; for String, the bytes on the wire
    // Where the value lies in the packet's captured bytes; -1 where it is
    // worked out rather than read (a call number, a time since).
    std::int32_t offset = -1;
    std::int32_t length = 0;
    // Which of several like groups it belongs to (the element, the trunk
    // entry), 0-based; -1 for none.
    std::int16_t instance = -1;

    [[nodiscard]] std::int64_t signedNumber() const { return static_cast<std::int64_t>(number); }
    // A time as seconds, for comparisons.
    [[nodiscard]] double secondsValue() const {
        return static_cast<double>(seconds) + static_cast<double>(nanoseconds) / 1e9;
    }
};

// Takes the values of a field one by one; true stops the visit.
class ValueSink {
public:
    virtual bool take(const Value& value) = 0;

protected:
    ~ValueSink() = default;
};

using ::ValueName;

} // namespace fields
