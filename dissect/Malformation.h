#pragma once

#include "dissect/KvIAXFrame.h"

#include <cstdint>
#include <optional>
#include <string>

// What is wrong on the wire with an IAX2 frame, as packet analyzers flag it
// (a malformed frame), kept apart from a frame the capture cut short (which
// is truncated, and not wrong). Read from the frame's facts and elements:
// the first thing wrong, in the frame's order.
struct Malformation {
    enum class Kind : std::uint8_t {
        UdpLengthShort, // UDP declares less than the IP payload holds
        CutHeader,      // the datagram ends within the IAX2 header
        ElementPastEnd, // an element's length runs past the datagram
        ElementSize,    // an element of a known kind with another size than its kind's
        TextNul,        // a text element holding a NUL
    };
    Kind kind;
    std::uint8_t element = 0; // its identifier, for the element kinds
    std::uint16_t size = 0;   // the element's declared size, or the UDP length
    std::uint16_t wanted = 0; // the size its kind takes
};

[[nodiscard]] std::optional<Malformation> malformationOf(const KvIAXFrame& frame);
// "element 9 (Format) is 2 bytes, where its kind takes 4"
[[nodiscard]] std::string malformationText(const Malformation& malformation);
