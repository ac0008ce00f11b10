#include "app/CaptureFollowers.h"

#include <algorithm>

void CaptureFollowers::restart() {
    waitForReaders();
    calls_ = calls::CallTracker{};
    restartQuality();
}

void CaptureFollowers::forgetListening() {
    listening_.clear();
    listenedCalls_ = 0;
}

bool CaptureFollowers::setQuality(std::optional<quality::QualityOptions> options) {
    waitForReaders();
    if (options == quality_ && (streams_ != nullptr) == options.has_value()) {
        return false;
    }
    quality_ = options;
    restartQuality();
    return true;
}

void CaptureFollowers::restartQuality() {
    streams_ = quality_ ? std::make_unique<quality::StreamTracker>(calls_, *quality_) : nullptr;
    problems_ = quality_ ? std::make_unique<quality::ProblemTracker>(calls_) : nullptr;
}

void CaptureFollowers::chargeHeld() {
    charge_.forceTo(calls_.heldBytes() +
                    (streams_ ? streams_->heldBytes() + problems_->heldBytes() : 0) +
                    listening_.capacity() * sizeof(listening_[0]));
}

CaptureFollowers::HeardActivity CaptureFollowers::heardActivity() const {
    HeardActivity heard(listening_.size());
    for (std::size_t call = 0; call < listening_.size(); ++call) {
        if (listening_[call]) {
            for (int side = 0; side < 2; ++side) {
                if (const auto& stream = listening_[call]->sides[side]) {
                    heard[call][static_cast<std::size_t>(side)] = stream->activity();
                }
            }
        }
    }
    return heard;
}

std::vector<quality::StreamFigures>
CaptureFollowers::streamFigures(const HeardActivity& heard) const {
    if (!streams_) {
        return {};
    }
    auto figures = streams_->figures();
    for (auto& stream : figures) {
        if (stream.call < heard.size()) {
            stream.activity = heard[stream.call][stream.fromCaller ? 0 : 1];
        }
    }
    return figures;
}

void CaptureFollowers::addActivity(quality::StreamFigures& stream) const {
    if (const CallListening* heard = listening(stream.call)) {
        if (const auto& side = heard->sides[stream.fromCaller ? 0 : 1]) {
            stream.activity = side->activity();
        }
    }
}

std::optional<std::vector<quality::Problem>>
CaptureFollowers::problemsOf(const HeardActivity& heard, MemoryCharge& charge) const {
    if (!streams_) {
        return std::vector<quality::Problem>{};
    }
    return quality::chargedProblems(*problems_, calls_, *streams_, streamFigures(heard), charge);
}

namespace {

// The digits heard in band on either side of a call, in frame order.
void addTonesHeard(const CallListening& heard, std::vector<calls::DtmfEvent>& into) {
    for (const auto& side : heard.sides) {
        if (side) {
            into.insert(into.end(), side->tones.begin(), side->tones.end());
        }
    }
}

void byFrame(std::vector<calls::DtmfEvent>& events) {
    std::stable_sort(events.begin(), events.end(),
                     [](const auto& a, const auto& b) { return a.frame < b.frame; });
}

} // namespace

quality::CallVerdict CaptureFollowers::callVerdict(std::size_t index) const {
    if (!streams_) {
        return {};
    }
    quality::CallVerdict verdict = streams_->verdict(index);
    const CallListening* heard = listening(index);
    if (heard == nullptr || !verdict.quality.dtmf.empty()) {
        return verdict;
    }
    std::vector<calls::DtmfEvent> tones;
    addTonesHeard(*heard, tones);
    byFrame(tones);
    for (const auto& tone : tones) {
        verdict.quality.dtmf.push_back(tone.digit);
    }
    return verdict;
}

std::vector<calls::DtmfEvent> CaptureFollowers::dtmfEvents() const {
    std::vector<calls::DtmfEvent> events;
    if (!streams_) {
        return events;
    }
    for (std::size_t call = 0; call < streams_->callCount(); ++call) {
        const auto& signalled = streams_->signalling(call)->dtmf();
        events.insert(events.end(), signalled.begin(), signalled.end());
        if (const CallListening* heard = listening(call)) {
            addTonesHeard(*heard, events);
        }
    }
    byFrame(events);
    return events;
}

void CaptureFollowers::addListening(const std::vector<std::size_t>& calls,
                                    std::vector<CallListening> found) {
    listening_.resize(calls_.calls().size());
    for (std::size_t i = 0; i < calls.size() && i < found.size(); ++i) {
        if (calls[i] < listening_.size()) {
            listening_[calls[i]] = std::move(found[i]);
            listenedCalls_ = std::max(listenedCalls_, calls[i] + 1);
        }
    }
}

const CallListening* CaptureFollowers::listening(std::size_t index) const {
    return index < listening_.size() && listening_[index] ? &*listening_[index] : nullptr;
}

std::shared_ptr<void> CaptureFollowers::hold() const {
    {
        const std::lock_guard lock(holds_->mutex);
        ++holds_->count;
    }
    return std::shared_ptr<void>(nullptr, [holds = holds_](void*) {
        const std::lock_guard lock(holds->mutex);
        --holds->count;
        holds->released.notify_all();
    });
}

void CaptureFollowers::waitForReaders() {
    std::unique_lock lock(holds_->mutex);
    holds_->released.wait(lock, [this] { return holds_->count == 0; });
}
