#pragma once

#include "record/FrameFacts.h"

#include <cstdint>

// Where a voice payload lies, so that it can be read back from the capture
// file rather than held: the packet's record and the bytes within it.
struct PayloadLocation {
    std::uint64_t fileOffset = FrameFacts::unknownFileOffset; // of the packet's record
    std::uint32_t packetIndex = 0;                            // 0-based, in its file
    std::uint32_t capturedLength = 0;                         // of the whole packet
    std::uint16_t offset = 0;  // where the payload starts in the captured bytes
    std::uint16_t length = 0;  // payload bytes captured, within what UDP declares
    bool cutByCapture = false; // the capture kept fewer bytes than the datagram holds
};
