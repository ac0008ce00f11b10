#include "quality/StreamTracker.h"

#include "quality/CallStreams.h"

#include <algorithm>

namespace quality {

struct StreamTracker::Followed {
    Followed(const calls::CallList& calls, std::size_t index, const QualityOptions& options)
        : streams(calls, index, false, options), signals(calls, index) {}
    [[nodiscard]] std::uint64_t heldBytes() const {
        return streams.heldBytes() + signals.heldBytes();
    }
    CallStreams streams;
    calls::CallSignals signals;
    std::uint64_t measuredBytes = 0; // what held_ counts for it
    bool unmeasured = false;
};

void attachReport(StreamFigures& stream, const calls::CallSignals& signals) {
    // The caller's stream is received, and reported on, by the callee.
    const auto& reports = signals.reportsBy(stream.fromCaller ? 1 : 0);
    if (!reports.empty()) {
        stream.reported = reports.back();
    }
}

StreamTracker::StreamTracker(const calls::CallTracker& calls, const QualityOptions& options)
    : calls_(calls), options_(options) {}
StreamTracker::~StreamTracker() = default;

void StreamTracker::add(const KvIAXFrame& frame, std::uint32_t frameNumber) {
    if (calls_.lastResent() != 0) {
        return; // a resend counts once: its first sending was taken
    }
    for (const std::size_t index : calls_.lastJoined()) {
        while (followed_.size() <= index) {
            followed_.push_back(
                std::make_unique<Followed>(calls_.calls(), followed_.size(), options_));
            followed_.back()->unmeasured = true;
            unmeasured_.push_back(followed_.size() - 1);
        }
        Followed& call = *followed_[index];
        call.streams.add(frame, frameNumber);
        call.signals.add(frame, frameNumber);
        if (!call.unmeasured) {
            call.unmeasured = true;
            unmeasured_.push_back(index);
        }
    }
}

std::uint64_t StreamTracker::heldBytes() const {
    for (const std::size_t index : unmeasured_) {
        Followed& call = *followed_[index];
        const std::uint64_t now = call.heldBytes();
        held_ += now - call.measuredBytes;
        call.measuredBytes = now;
        call.unmeasured = false;
    }
    unmeasured_.clear();
    return held_ + followed_.capacity() * sizeof(followed_[0]);
}

std::vector<StreamFigures> StreamTracker::callFigures(std::size_t index) const {
    if (index >= followed_.size()) {
        return {};
    }
    const Followed& call = *followed_[index];
    auto figures = call.streams.figures(call.signals.quality().rttMean);
    for (StreamFigures& stream : figures) {
        attachReport(stream, call.signals);
    }
    return figures;
}

std::vector<StreamFigures> StreamTracker::figures() const {
    std::vector<StreamFigures> figures;
    for (std::size_t index = 0; index < followed_.size(); ++index) {
        for (StreamFigures& stream : callFigures(index)) {
            figures.push_back(std::move(stream));
        }
    }
    return figures;
}

CallVerdict StreamTracker::verdict(std::size_t index) const {
    CallVerdict verdict;
    if (index >= followed_.size()) {
        return verdict;
    }
    verdict.quality = followed_[index]->signals.quality();
    for (const StreamFigures& stream : callFigures(index)) {
        if (stream.mos) {
            verdict.mos = verdict.mos ? std::min(*verdict.mos, *stream.mos) : *stream.mos;
        }
    }
    return verdict;
}

const calls::CallSignals* StreamTracker::signalling(std::size_t index) const {
    return index < followed_.size() ? &followed_[index]->signals : nullptr;
}

bool StreamTracker::hasVoice(std::size_t index) const {
    return index < followed_.size() && followed_[index]->streams.hasVoice();
}

StreamTrouble StreamTracker::trouble(std::size_t index, int side) const {
    return index < followed_.size() ? followed_[index]->streams.trouble(side) : StreamTrouble{};
}

} // namespace quality
