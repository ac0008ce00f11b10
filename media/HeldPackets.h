#pragma once

#include "quality/StreamTypes.h"
#include "media/VoiceListener.h"

#include <cstdint>
#include <span>
#include <vector>

namespace media {

// The one store of voice payloads held in memory, which listening, the
// player and --calls share: filled as a pass over the capture file meets the
// packets (keep), or by reading the payloads of some streams from the file in
// one pass in file order (readAll), however the streams interleave. Bytes are
// kept in file order; each piece runs from some offset of its packet on.
class HeldPackets final {
public:
    // Keeps the bytes of packet `packetIndex` from `from` on (`captured` is
    // the whole packet). Packets come in ascending index; a packet kept
    // again, or out of order, is passed over.
    void keep(std::uint32_t packetIndex, std::uint16_t from,
              std::span<const std::uint8_t> captured);
    // Reads every payload of `streams` that the capture holds, from the
    // file, to what is held already (which must be nothing, or lie before
    // them in the file). False, with `error` saying why, where one cannot be read.
    bool readAll(const std::vector<quality::VoiceStream>& streams, CapturePackets& packets,
                 std::string& error);
    // The payload at `location`; false where its packet, or that part of it,
    // was not kept.
    bool payload(const PayloadLocation& location, std::vector<std::uint8_t>& into) const;
    // Reads the payloads of `stream`'s packets from what is held.
    [[nodiscard]] PayloadReader readerOf(const quality::VoiceStream& stream) const;

    [[nodiscard]] bool empty() const { return entries_.empty(); }
    [[nodiscard]] std::uint64_t heldBytes() const;

    // Keeps `bytes` as a piece of packet `packetIndex` from `from` on: a
    // trunk packet holds several. Passed over unless it comes after all that
    // is kept, in file order.
    void keepPiece(std::uint32_t packetIndex, std::uint16_t from,
                   std::span<const std::uint8_t> bytes);

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
