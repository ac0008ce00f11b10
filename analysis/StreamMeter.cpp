#include "analysis/StreamMeter.h"

#include <algorithm>
#include <cmath>

namespace analysis {

bool StreamMeter::Seen::insert(std::uint32_t timestamp) {
    if (set_.empty() && (rising_.empty() || timestamp > rising_.back())) {
        rising_.push_back(timestamp);
        ++distinct_;
        return true;
    }
    if (set_.empty()) {
        set_.reserve(rising_.size() * 2);
        set_.insert(rising_.begin(), rising_.end());
        rising_ = {};
    }
    const bool fresh = set_.insert(timestamp).second;
    distinct_ += fresh ? 1 : 0;
    return fresh;
}

void StreamMeter::add(StreamPacket& packet) {
    const bool first = packets_ == 0;
    ++packets_;
    if (!seen_.insert(packet.timestamp)) {
        packet.status = PacketStatus::Duplicate;
        ++duplicates_;
    } else if (!first && packet.timestamp < largest_) {
        packet.status = PacketStatus::OutOfOrder;
        ++outOfOrder_;
    }
    if (first) {
        smallest_ = largest_ = packet.timestamp;
    } else {
        smallest_ = std::min(smallest_, packet.timestamp);
        largest_ = std::max(largest_, packet.timestamp);
        // RFC 3550: D = (Rj - Ri) - (Sj - Si), J += (|D| - J) / 16.
        packet.deltaMs = packet.arrivalMs - previousArrival_;
        if (packet.deltaMs > maxDelta_) {
            maxDelta_ = packet.deltaMs;
            maxDeltaFrame_ = packet.frameNumber;
        }
        const double transit = packet.deltaMs - (static_cast<double>(packet.timestamp) -
                                                 static_cast<double>(previousTimestamp_));
        jitter_ += (std::abs(transit) - jitter_) / 16.0;
        maxJitter_ = std::max(maxJitter_, jitter_);
        jitterSum_ += jitter_;
    }
    packet.jitterMs = jitter_;
    previousArrival_ = packet.arrivalMs;
    previousTimestamp_ = packet.timestamp;
}

StreamFigures StreamMeter::figures(std::optional<double> frameMs) const {
    StreamFigures figures;
    figures.frameMs = frameMs;
    figures.packets = packets_;
    figures.duplicates = duplicates_;
    figures.outOfOrder = outOfOrder_;
    figures.maxDeltaMs = maxDelta_;
    figures.maxDeltaFrame = maxDeltaFrame_;
    figures.maxJitterMs = maxJitter_;
    figures.meanJitterMs = packets_ > 1 ? jitterSum_ / static_cast<double>(packets_ - 1) : 0;
    if (frameMs && *frameMs > 0 && packets_ > 0) {
        figures.expected =
            static_cast<std::uint64_t>(std::llround((largest_ - smallest_) / *frameMs)) + 1;
        figures.lost = static_cast<std::int64_t>(figures.expected) -
                       static_cast<std::int64_t>(seen_.distinct());
    }
    return figures;
}

void markLosses(std::vector<StreamPacket>& packets, double frameMs) {
    if (frameMs <= 0) {
        return;
    }
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
    for (std::size_t k = 1; k < order.size(); ++k) {
        StreamPacket& packet = packets[order[k]];
        const double gap = packet.timestamp - packets[order[k - 1]].timestamp;
        const long long missing = std::llround(gap / frameMs) - 1;
        if (missing > 0) {
            packet.lostBefore =
                static_cast<std::uint32_t>(std::min<long long>(missing, UINT32_MAX));
            if (packet.status == PacketStatus::Ok) {
                packet.status = PacketStatus::LostBefore;
            }
        }
    }
}

} // namespace analysis
