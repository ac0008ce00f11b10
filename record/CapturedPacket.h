#pragma once

#include "record/FrameFacts.h"

#include <cstdint>
#include <span>

// One packet as a packet source hands it to the dissector: the captured
// bytes and what the capture library says about them.
struct CapturedPacket {
    static constexpr std::uint16_t ethernetLinkType = 1; // DLT_EN10MB

    std::span<const std::uint8_t> bytes;
    std::uint32_t wireLength = 0; // 0: as many as were captured
    std::int64_t seconds = 0;
    std::uint32_t nanoseconds = 0;
    TimeResolution resolution = TimeResolution::Microseconds;
    std::uint16_t linkType = ethernetLinkType;
    std::uint32_t index = 0;
    std::uint64_t fileOffset = FrameFacts::unknownFileOffset;
};
