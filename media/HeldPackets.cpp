#include "media/HeldPackets.h"

#include <algorithm>

namespace media {

namespace {
constexpr std::size_t chunkBytes = std::size_t{1} << 20;
} // namespace

void HeldPackets::keep(std::uint32_t packetIndex, std::uint16_t from,
                       std::span<const std::uint8_t> captured) {
    if ((!entries_.empty() && packetIndex <= entries_.back().packetIndex) ||
        from > captured.size()) {
        return;
    }
    keepPiece(packetIndex, from, captured.subspan(from));
}

void HeldPackets::keepPiece(std::uint32_t packetIndex, std::uint16_t from,
                            std::span<const std::uint8_t> bytes) {
    if (!entries_.empty() && std::pair(packetIndex, from) <=
                                 std::pair(entries_.back().packetIndex, entries_.back().from)) {
        return;
    }
    if (chunks_.empty() || chunks_.back().capacity() - chunks_.back().size() < bytes.size()) {
        chunks_.emplace_back().reserve(std::max(chunkBytes, bytes.size()));
    }
    std::vector<std::uint8_t>& chunk = chunks_.back();
    entries_.push_back({packetIndex, from, static_cast<std::uint32_t>(chunks_.size() - 1),
                        static_cast<std::uint32_t>(chunk.size()),
                        static_cast<std::uint32_t>(bytes.size())});
    chunk.insert(chunk.end(), bytes.begin(), bytes.end());
}

bool HeldPackets::readAll(const std::vector<quality::VoiceStream>& streams, CapturePackets& packets,
                          std::string& error) {
    std::vector<PayloadLocation> wanted;
    for (const quality::VoiceStream& stream : streams) {
        for (const quality::StreamPacket& packet : stream.packets) {
            if (!packet.payload.cutByCapture && packet.payload.length > 0) {
                wanted.push_back(packet.payload);
            }
        }
    }
    // A trunk packet holds several calls' payloads: each is a piece of its own.
    const auto order = [](const PayloadLocation& a, const PayloadLocation& b) {
        return std::pair(a.packetIndex, a.offset) < std::pair(b.packetIndex, b.offset);
    };
    std::sort(wanted.begin(), wanted.end(), order);
    std::vector<std::uint8_t> payload;
    for (const PayloadLocation& location : wanted) {
        if (!packets.readPayload(location, payload, error)) {
            return false;
        }
        keepPiece(location.packetIndex, location.offset, payload);
    }
    return true;
}

bool HeldPackets::payload(const PayloadLocation& location, std::vector<std::uint8_t>& into) const {
    into.clear();
    auto at = std::lower_bound(
        entries_.begin(), entries_.end(), location.packetIndex,
        [](const Entry& entry, std::uint32_t index) { return entry.packetIndex < index; });
    for (; at != entries_.end() && at->packetIndex == location.packetIndex; ++at) {
        if (location.offset >= at->from &&
            std::size_t{location.offset} - at->from + location.length <= at->length) {
            const auto begin =
                chunks_[at->chunk].begin() + at->start + (location.offset - at->from);
            into.assign(begin, begin + location.length);
            return true;
        }
    }
    return false;
}

PayloadReader HeldPackets::readerOf(const quality::VoiceStream& stream) const {
    return [this, &stream](std::size_t index, std::vector<std::uint8_t>& into, std::string& error) {
        if (index >= stream.packets.size() || !payload(stream.packets[index].payload, into)) {
            error = "the payload of frame " +
                    std::to_string(index < stream.packets.size() ? stream.packets[index].frameNumber
                                                                 : 0) +
                    " was not kept";
            return false;
        }
        return true;
    };
}

std::uint64_t HeldPackets::heldBytes() const {
    std::uint64_t bytes = entries_.capacity() * sizeof(Entry);
    for (const auto& chunk : chunks_) {
        bytes += chunk.capacity();
    }
    return bytes;
}

} // namespace media
