#pragma once

#include "quality/StreamTypes.h"
#include "media/VoiceListener.h"

#include <cstdint>
#include <span>
#include <vector>

namespace media {

// The voice-bearing bytes of some packets, kept as a pass over the capture
// file met them, so that listening to their streams does not read the file
// again a payload at a time. Packets are kept in file order; each keeps its
// bytes from some offset to the end of what was captured.
class HeldPackets final {
public:
    // Keeps the bytes of packet `packetIndex` from `from` on (`captured` is
    // the whole packet). Packets come in ascending index; a packet kept
    // again, or out of order, is passed over.
    void keep(std::uint32_t packetIndex, std::uint16_t from,
              std::span<const std::uint8_t> captured);
    // The payload at `location`; false where its packet, or that part of it,
    // was not kept.
    bool payload(const PayloadLocation& location, std::vector<std::uint8_t>& into) const;
    // Reads the payloads of `stream`'s packets from what is held.
    [[nodiscard]] PayloadReader readerOf(const quality::VoiceStream& stream) const;

    [[nodiscard]] bool empty() const { return entries_.empty(); }
    [[nodiscard]] std::uint64_t heldBytes() const;

private:
    struct Entry {
        std::uint32_t packetIndex;
        std::uint16_t from;   // the captured bytes' offset the kept ones start at
        std::uint32_t chunk;  // which of chunks_
        std::uint32_t start;  // where in it
        std::uint32_t length; // how many
    };
    // Bytes go into chunks that never move once made, a packet whole in one:
    // growing one buffer would copy all of it, and hold half again, at times.
    std::vector<std::vector<std::uint8_t>> chunks_;
    std::vector<Entry> entries_;
};

} // namespace media
