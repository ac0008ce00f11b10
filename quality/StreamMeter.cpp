#include "quality/StreamMeter.h"

#include "quality/EModel.h"

#include <algorithm>
#include <cmath>

namespace quality {

bool StreamMeter::Seen::insert(const Arrival& arrival) {
    if (map_.empty() && (rising_.empty() || arrival.timestamp() > rising_.back().timestamp())) {
        rising_.push_back(arrival);
        ++distinct_;
        return true;
    }
    if (map_.empty()) {
        map_.reserve(rising_.size() * 2);
        for (const Arrival& earlier : rising_) {
            map_.emplace(earlier.timestamp(), earlier);
        }
        rising_ = {};
    }
    const bool fresh = map_.emplace(arrival.timestamp(), arrival).second;
    distinct_ += fresh ? 1 : 0;
    return fresh;
}

std::vector<StreamMeter::Arrival> StreamMeter::Seen::sorted() const {
    if (map_.empty()) {
        return {rising_.begin(), rising_.end()};
    }
    std::vector<Arrival> all;
    all.reserve(map_.size());
    for (const auto& entry : map_) {
        all.push_back(entry.second);
    }
    std::sort(all.begin(), all.end(),
              [](const Arrival& a, const Arrival& b) { return a.timestamp() < b.timestamp(); });
    return all;
}

std::uint64_t StreamMeter::heldBytes() const {
    return seen_.heldBytes() +
           (duplicateFrames_.capacity() + outOfOrderFrames_.capacity()) * sizeof(std::uint32_t);
}

void StreamMeter::add(StreamPacket& packet) {
    const bool first = packets_ == 0;
    ++packets_;
    if (first) {
        firstArrival_ = packet.arrivalMs;
        firstTimestamp_ = packet.timestamp;
    }
    // Played at A0 + B + (T - T0): a frame that comes after that is as good as lost.
    const double playout =
        firstArrival_ + jitterBufferMs_ + (static_cast<double>(packet.timestamp) - firstTimestamp_);
    const bool late = packet.arrivalMs > playout;
    if (!seen_.insert({packet.timestamp, packet.frameNumber, late})) {
        packet.status = PacketStatus::Duplicate;
        ++duplicates_;
        duplicateFrames_.push_back(packet.frameNumber);
    } else {
        if (!first && packet.timestamp < largest_) {
            packet.status = PacketStatus::OutOfOrder;
            ++outOfOrder_;
            outOfOrderFrames_.push_back(packet.frameNumber);
        }
        packet.late = late;
        late_ += late ? 1 : 0;
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
        if (jitter_ > maxJitter_) {
            maxJitter_ = jitter_;
            maxJitterFrame_ = packet.frameNumber;
        }
        jitterSum_ += jitter_;
    }
    packet.jitterMs = jitter_;
    previousArrival_ = packet.arrivalMs;
    previousTimestamp_ = packet.timestamp;
}

StreamFigures StreamMeter::figures(std::optional<double> frameMs, std::uint32_t codecMask,
                                   std::optional<double> roundTripMs) const {
    StreamFigures figures;
    figures.frameMs = frameMs;
    figures.packets = packets_;
    figures.duplicates = duplicates_;
    figures.outOfOrder = outOfOrder_;
    figures.maxDeltaMs = maxDelta_;
    figures.maxDeltaFrame = maxDeltaFrame_;
    figures.maxJitterMs = maxJitter_;
    figures.meanJitterMs = packets_ > 1 ? jitterSum_ / static_cast<double>(packets_ - 1) : 0;
    figures.jitterBufferMs = jitterBufferMs_;
    figures.late = late_;
    if (!frameMs || *frameMs <= 0 || packets_ == 0) {
        figures.effectiveLost = static_cast<std::int64_t>(late_);
        return figures;
    }
    figures.expected =
        static_cast<std::uint64_t>(std::llround((largest_ - smallest_) / *frameMs)) + 1;
    figures.lost =
        static_cast<std::int64_t>(figures.expected) - static_cast<std::int64_t>(seen_.distinct());
    figures.effectiveLost = figures.lost + static_cast<std::int64_t>(late_);

    // The loss pattern over the expected slots: a slot is received where a
    // frame of it came in time, lost otherwise. Counted from the received
    // slots alone, so that a stream whose timestamps jump costs no memory.
    const std::vector<Arrival> arrivals = seen_.sorted();
    std::vector<std::uint64_t> received;
    received.reserve(arrivals.size());
    for (const Arrival& arrival : arrivals) {
        if (!arrival.late()) {
            received.push_back(static_cast<std::uint64_t>(
                std::llround((arrival.timestamp() - smallest_) / *frameMs)));
        }
    }
    received.erase(std::unique(received.begin(), received.end()), received.end());
    const std::uint64_t slots = figures.expected;
    std::uint64_t gaps = 0; // between received slots that are not next to each other
    for (std::size_t i = 0; i + 1 < received.size(); ++i) {
        gaps += received[i + 1] > received[i] + 1 ? 1 : 0;
    }
    const bool endsReceived = !received.empty() && received.back() == slots - 1;
    const bool startsReceived = !received.empty() && received.front() == 0;
    // A received slot followed by a lost one: before each gap, and the last
    // received one where lost slots follow it.
    const std::uint64_t receivedThenLost = gaps + (!received.empty() && !endsReceived ? 1 : 0);
    // A lost slot followed by a received one: after each gap, and before the
    // first received one where lost slots come first.
    const std::uint64_t lostThenReceived = gaps + (!received.empty() && !startsReceived ? 1 : 0);
    const std::uint64_t receivedFollowed = received.size() - (endsReceived ? 1 : 0);
    const std::uint64_t lostFollowed = slots - 1 - receivedFollowed;
    const double p = receivedFollowed > 0 ? static_cast<double>(receivedThenLost) /
                                                static_cast<double>(receivedFollowed)
                                          : 0.0;
    const double q = lostFollowed > 0
                         ? static_cast<double>(lostThenReceived) / static_cast<double>(lostFollowed)
                         : 0.0;
    figures.burstRatio = burstRatio(p, q);

    const CodecImpairment codec = codecImpairment(codecMask);
    if (codec.ie && codec.bpl) {
        const double lossPercent =
            100.0 * static_cast<double>(std::max<std::int64_t>(0, figures.effectiveLost)) /
            static_cast<double>(figures.expected);
        const double delay = jitterBufferMs_ + *frameMs + roundTripMs.value_or(0) / 2.0;
        const Rating rating = rate(codec, lossPercent, *figures.burstRatio, delay);
        figures.rFactor = rating.rFactor;
        figures.mos = rating.mos;
    }
    return figures;
}

StreamTrouble StreamMeter::trouble(std::optional<double> frameMs) const {
    StreamTrouble trouble;
    trouble.duplicates = duplicateFrames_;
    trouble.outOfOrder = outOfOrderFrames_;
    trouble.maxJitterFrame = maxJitterFrame_;
    if (!frameMs || *frameMs <= 0) {
        return trouble;
    }
    const std::vector<Arrival> arrivals = seen_.sorted();
    std::uint32_t lateRun = 0;
    for (std::size_t i = 0; i < arrivals.size(); ++i) {
        if (i > 0) {
            const double gap = arrivals[i].timestamp() - arrivals[i - 1].timestamp();
            const long long missing = std::llround(gap / *frameMs) - 1;
            if (missing > 0) {
                trouble.lossRuns.emplace_back(
                    arrivals[i].frame(),
                    static_cast<std::uint32_t>(std::min<long long>(missing, UINT32_MAX)));
                lateRun = 0; // a missing frame ends a run of late ones
            }
        }
        if (arrivals[i].late()) {
            if (lateRun == 0) {
                trouble.lateRuns.emplace_back(arrivals[i].frame(), 0);
            }
            ++trouble.lateRuns.back().second;
            ++lateRun;
        } else {
            lateRun = 0;
        }
    }
    return trouble;
}

void markLosses(std::vector<StreamPacket>& packets, double frameMs) {
    if (frameMs <= 0) {
        return;
    }
    const std::vector<std::size_t> order = sendingOrder(packets);
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

} // namespace quality
