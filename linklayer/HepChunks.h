#pragma once

#include "linklayer/ByteCursor.h"

#include <cstddef>
#include <cstdint>
#include <span>

// The chunks of a HEP v3 message ("HEP3", a 16-bit length, then chunks of
// vendor, type, length and value), walked without copying: what the layers
// read to open HEP-encapsulated IAX2, and what hep::decode reads a message
// with.
enum class HepWalk : std::uint8_t {
    Ok,
    NotHep,    // no "HEP3" at the start
    Truncated, // shorter than its length field says: cut by the capture
    Malformed, // a chunk whose length runs past the message, or is under 6
};

// The generic chunk types (vendor 0).
namespace hepchunk {
enum Type : std::uint16_t {
    Family = 0x0001,
    Protocol = 0x0002,
    Source4 = 0x0003,
    Destination4 = 0x0004,
    Source6 = 0x0005,
    Destination6 = 0x0006,
    SourcePort = 0x0007,
    DestinationPort = 0x0008,
    Seconds = 0x0009,
    Microseconds = 0x000a,
    ProtocolType = 0x000b,
    CaptureId = 0x000c,
    AuthKey = 0x000e,
    PayloadBytes = 0x000f,
    CorrelationId = 0x0011,
    Vlan = 0x0012,
    Node = 0x0013,
    Mos = 0x0020,
};
} // namespace hepchunk

struct HepChunk {
    std::uint16_t vendor;
    std::uint16_t type;
    std::size_t offset; // of the value, from the message's start
    std::span<const std::uint8_t> value;
};

inline constexpr std::size_t hepMessageHeader = 6, hepChunkHeader = 6;

// Calls `visit(const HepChunk&)` for each chunk of the message at the start
// of `bytes`, in order, and sets `length` to the message's length from its
// header (0 where it has none).
template <class Visit>
HepWalk walkHepChunks(std::span<const std::uint8_t> bytes, std::size_t& length, Visit&& visit) {
    length = 0;
    const ByteCursor cursor(bytes);
    const auto magic = cursor.fixed<4>(0);
    if (!magic || (*magic)[0] != 'H' || (*magic)[1] != 'E' || (*magic)[2] != 'P' ||
        (*magic)[3] != '3') {
        return HepWalk::NotHep;
    }
    const auto declared = cursor.be16(4);
    if (!declared) {
        return HepWalk::Truncated;
    }
    if (*declared < hepMessageHeader) {
        return HepWalk::Malformed;
    }
    length = *declared;
    if (!cursor.has(0, *declared)) {
        return HepWalk::Truncated;
    }
    const ByteCursor message(bytes.first(*declared));
    for (std::size_t at = hepMessageHeader; at < *declared;) {
        const auto vendor = message.be16(at);
        const auto type = message.be16(at + 2);
        const auto size = message.be16(at + 4);
        if (!vendor || !type || !size || *size < hepChunkHeader || !message.has(at, *size)) {
            return HepWalk::Malformed;
        }
        visit(HepChunk{*vendor, *type, at + hepChunkHeader,
                       bytes.subspan(at + hepChunkHeader, *size - hepChunkHeader)});
        at += *size;
    }
    return HepWalk::Ok;
}
