#include "calls/CallSignals.h"

#include "calls/FrameElements.h"
#include "record/IaxNumbers.h"

#include <algorithm>

namespace calls {
namespace {

constexpr std::size_t mostPending = 64; // probes kept unanswered, a side
constexpr std::uint8_t dtmfEnd = 1, dtmfBegin = 12;

double arrivalMs(const FrameFacts& facts, const CaptureTime& origin) {
    return static_cast<double>(facts.captureSeconds - origin.seconds) * 1000.0 +
           (static_cast<double>(facts.captureNanoseconds) - origin.nanoseconds) / 1e6;
}

// The receiver report elements of an IAX control frame (RFC 5456 8.6.46-51).
std::optional<ReceiverReport> reportOf(const KvIAXFrame& frame, std::uint32_t number,
                                                double arrivalMs) {
    ReceiverReport report;
    report.jitter = elementNumber(frame, 46, 4);
    if (const auto loss = elementNumber(frame, 47, 4)) {
        report.lossPercent = *loss >> 24;
        report.lost = *loss & 0x00FFFFFFu;
    }
    report.packets = elementNumber(frame, 48, 4);
    report.delay = elementNumber(frame, 49, 2);
    report.dropped = elementNumber(frame, 50, 4);
    report.outOfOrder = elementNumber(frame, 51, 4);
    if (!report.jitter && !report.lost && !report.packets && !report.delay && !report.dropped &&
        !report.outOfOrder) {
        return std::nullopt;
    }
    report.frame = number;
    report.arrivalMs = arrivalMs;
    return report;
}

} // namespace

void CallSignals::RoundTrip::add(double ms) {
    min = samples == 0 ? ms : std::min(min, ms);
    max = samples == 0 ? ms : std::max(max, ms);
    sum += ms;
    ++samples;
}

CallSignals::CallSignals(const CallList& calls, std::size_t index)
    : calls_(&calls), index_(index) {}

void CallSignals::answer(std::vector<Probe>& probes, std::uint32_t timestamp, double arrivalMs,
                         RoundTrip& into) {
    for (auto it = probes.rbegin(); it != probes.rend(); ++it) {
        if (it->timestamp == timestamp) {
            into.add(arrivalMs - it->arrivalMs);
            probes.erase(std::next(it).base());
            return;
        }
    }
}

void CallSignals::add(const KvIAXFrame& frame, std::uint32_t frameNumber) {
    const FrameFacts& facts = frame.facts();
    if (facts.kind() != FrameKind::Full) {
        return;
    }
    const Call& call = (*calls_)[index_];
    const int side = endpointOf(frame, true) == call.caller ? 0 : 1;
    const double arrival = arrivalMs(facts, call.start);
    // A digit resent (the same frame again, told by the call tracker) never
    // reaches here: it is the key press already taken.
    if (facts.frameType == dtmfEnd || facts.frameType == dtmfBegin) {
        DtmfEvent event;
        event.timestamp = facts.iaxTimestamp;
        event.call = index_;
        event.fromCaller = side == 0;
        event.digit = static_cast<char>(facts.subclass);
        event.kind = facts.frameType == dtmfEnd ? DtmfEvent::Kind::End : DtmfEvent::Kind::Begin;
        event.frame = frameNumber;
        event.captured = {facts.captureSeconds, facts.captureNanoseconds};
        dtmf_.push_back(event);
        return;
    }
    if (facts.frameType != iax::IaxControl || facts.retransmission != 0) {
        return; // a retransmitted probe or answer measures nothing new
    }
    auto remember = [&](std::vector<Probe>& probes) {
        if (probes.size() == mostPending) {
            probes.erase(probes.begin());
        }
        probes.push_back({facts.iaxTimestamp, arrival});
    };
    switch (facts.subclass) {
    case iax::Ping:
        remember(pings_[side]);
        break;
    case iax::LagRequest:
        remember(lagRequests_[side]);
        break;
    case iax::Pong:
        answer(pings_[1 - side], facts.iaxTimestamp, arrival, rtt_);
        break;
    case iax::LagReply:
        answer(lagRequests_[1 - side], facts.iaxTimestamp, arrival, lag_);
        break;
    default:
        break;
    }
    if (auto report = reportOf(frame, frameNumber, arrival)) {
        reports_[side].push_back(*report);
    }
}

CallQuality CallSignals::quality() const {
    CallQuality quality;
    quality.rttSamples = rtt_.samples;
    if (rtt_.samples > 0) {
        quality.rttMin = rtt_.min;
        quality.rttMax = rtt_.max;
        quality.rttMean = rtt_.sum / static_cast<double>(rtt_.samples);
    }
    quality.lagSamples = lag_.samples;
    if (lag_.samples > 0) {
        quality.lagMean = lag_.sum / static_cast<double>(lag_.samples);
    }
    for (const DtmfEvent& event : dtmf_) {
        if (event.kind == DtmfEvent::Kind::End) {
            quality.dtmf.push_back(event.digit);
        }
    }
    return quality;
}

std::uint64_t CallSignals::heldBytes() const {
    std::uint64_t bytes = sizeof(CallSignals) + dtmf_.capacity() * sizeof(DtmfEvent);
    for (int side = 0; side < 2; ++side) {
        bytes += (pings_[side].capacity() + lagRequests_[side].capacity()) * sizeof(Probe) +
                 reports_[side].capacity() * sizeof(ReceiverReport);
    }
    return bytes;
}

} // namespace calls
