#include "quality/VoiceStreamBuilder.h"

#include "calls/CallSignals.h"
#include "quality/CallStreams.h"
#include "quality/StreamTracker.h"

#include <algorithm>

namespace quality {

struct VoiceStreamBuilder::Followed {
    Followed(const calls::CallList& calls, std::size_t index, const QualityOptions& options)
        : streams(calls, index, true, options), signals(calls, index) {}
    CallStreams streams;
    calls::CallSignals signals;
};

VoiceStreamBuilder::VoiceStreamBuilder(const calls::CallTracker& tracker, const std::vector<std::size_t>& calls,
                           const QualityOptions& options) {
    std::size_t frames = 0;
    for (const std::size_t index : calls) {
        frames += tracker.calls().at(index).frameNumbers.size();
    }
    frames_.reserve(frames);
    for (const std::size_t index : calls) {
        const auto slot = static_cast<std::uint32_t>(followed_.size());
        followed_.push_back(std::make_unique<Followed>(tracker.calls(), index, options));
        for (const std::uint32_t number : tracker.calls().at(index).frameNumbers) {
            if (number != 0) {
                frames_.emplace_back(number, slot);
            }
        }
    }
    // A frame of several calls (a trunk frame) goes to them in call order.
    // Each call's frames come in order: one call alone, however long, is
    // in order already.
    const auto byNumber = [](const auto& a, const auto& b) { return a.first < b.first; };
    if (!std::is_sorted(frames_.begin(), frames_.end(), byNumber)) {
        std::stable_sort(frames_.begin(), frames_.end(), byNumber);
    }
}

VoiceStreamBuilder::~VoiceStreamBuilder() = default;

std::vector<std::uint32_t> VoiceStreamBuilder::wantedFrames() const {
    std::vector<std::uint32_t> wanted;
    wanted.reserve(frames_.size());
    for (const auto& [number, slot] : frames_) {
        if (wanted.empty() || wanted.back() != number) {
            wanted.push_back(number);
        }
    }
    return wanted;
}

void VoiceStreamBuilder::add(const KvIAXFrame& frame, std::uint32_t number) {
    while (next_ < frames_.size() && frames_[next_].first < number) {
        ++next_; // a frame that was not handed over
    }
    for (; next_ < frames_.size() && frames_[next_].first == number; ++next_) {
        Followed& call = *followed_[frames_[next_].second];
        call.streams.add(frame, number);
        call.signals.add(frame, number);
    }
}

std::vector<VoiceStream> VoiceStreamBuilder::take() {
    std::vector<VoiceStream> streams;
    for (const auto& call : followed_) {
        for (VoiceStream& stream : call->streams.takeStreams(call->signals.quality().rttMean)) {
            attachReport(stream.figures, call->signals);
            stream.reports = call->signals.reportsBy(stream.figures.fromCaller ? 1 : 0);
            streams.push_back(std::move(stream));
        }
    }
    return streams;
}

std::vector<VoiceStream> callStreams(const calls::CallTracker& tracker, std::size_t index,
                                     const FrameList& frames, const QualityOptions& options) {
    VoiceStreamBuilder streams(tracker, {index}, options);
    for (const std::uint32_t number : tracker.calls().at(index).frameNumbers) {
        if (number > frames.released() && number <= frames.size()) {
            streams.add(*frames[number - 1], number);
        }
    }
    return streams.take();
}

std::vector<StreamFigures> analyzeStreams(const FrameList& frames, const QualityOptions& options) {
    calls::CallTracker calls;
    StreamTracker streams(calls, options);
    for (std::size_t i = 0; i < frames.size(); ++i) {
        calls.add(*frames[i], static_cast<std::uint32_t>(i + 1));
        streams.add(*frames[i], static_cast<std::uint32_t>(i + 1));
    }
    return streams.figures();
}

} // namespace quality
