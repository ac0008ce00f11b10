#include "quality/StreamTypes.h"

#include "record/IaxNumbers.h"

#include <algorithm>

namespace quality {

const char* statusText(PacketStatus status) {
    switch (status) {
    case PacketStatus::Ok:
        return "ok";
    case PacketStatus::LostBefore:
        return "lost before";
    case PacketStatus::Duplicate:
        return "duplicate";
    case PacketStatus::OutOfOrder:
        return "out of order";
    }
    return "";
}

std::optional<double> frameDurationMs(std::uint32_t codecMask, std::size_t bytes) {
    if (bytes == 0) {
        return std::nullopt;
    }
    const double size = static_cast<double>(bytes);
    switch (codecMask) {
    case iax::Ulaw: // G.711 u-law: one byte a sample at 8 kHz
    case iax::Alaw: // G.711 a-law
        return size / 8.0;
    case iax::Slinear: // 16-bit signed linear
        return size / 16.0;
    case iax::Gsm: // GSM 06.10: 33 bytes every 20 ms
        return bytes % 33 == 0 ? std::optional(size / 33.0 * 20.0) : std::nullopt;
    case iax::G729: // G.729: 10 bytes every 10 ms
        return bytes % 10 == 0 ? std::optional(size) : std::nullopt;
    case iax::G726:  // G.726 at 32 kbit/s: four bits a sample
    case iax::Adpcm: // IMA ADPCM
        return size / 4.0;
    case iax::Lpc10: // LPC10: 7 bytes every 22.5 ms
        return bytes % 7 == 0 ? std::optional(size / 7.0 * 22.5) : std::nullopt;
    case iax::G7231: // G.723.1: 24 or 20 bytes every 30 ms
        return bytes % 24 == 0   ? std::optional(size / 24.0 * 30.0)
               : bytes % 20 == 0 ? std::optional(size / 20.0 * 30.0)
                                 : std::nullopt;
    case iax::Ilbc: // iLBC: 38 bytes every 20 ms, or 50 every 30
        return bytes % 38 == 0   ? std::optional(size / 38.0 * 20.0)
               : bytes % 50 == 0 ? std::optional(size / 50.0 * 30.0)
                                 : std::nullopt;
    default: // Speex and the rest: the size does not tell
        return std::nullopt;
    }
}

std::vector<std::size_t> sendingOrder(const std::vector<StreamPacket>& packets) {
    std::vector<std::size_t> order;
    order.reserve(packets.size());
    for (std::size_t i = 0; i < packets.size(); ++i) {
        if (packets[i].status != PacketStatus::Duplicate) {
            order.push_back(i);
        }
    }
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return packets[a].timestamp < packets[b].timestamp;
    });
    return order;
}

} // namespace quality
