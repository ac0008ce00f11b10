#include "quality/VoiceStreamBuilder.h"
#include "app/CallSelection.h"

#include "quality/StreamTracker.h"
#include "app/KvIAXCapture.h"

#include <algorithm>
#include <iterator>

namespace callselection {

std::vector<std::uint32_t> framesOf(const calls::CallList& calls,
                                    const std::vector<std::size_t>& selected) {
    // Marked in a bitmap as large as the largest frame number, then read out
    // in order: linear in the frames, where sorting them all is not.
    std::uint32_t largest = 0;
    for (const std::size_t call : selected) {
        if (call < calls.size() && !calls[call].frameNumbers.empty()) {
            largest = std::max(largest, calls[call].frameNumbers.back());
        }
    }
    std::vector<bool> marked(static_cast<std::size_t>(largest) + 1, false);
    std::size_t count = 0;
    for (const std::size_t call : selected) {
        if (call >= calls.size()) {
            continue;
        }
        for (const std::uint32_t number : calls[call].frameNumbers) {
            count += marked[number] ? 0 : 1;
            marked[number] = true;
        }
    }
    std::vector<std::uint32_t> numbers;
    numbers.reserve(count);
    for (std::size_t number = 1; number < marked.size(); ++number) {
        if (marked[number]) {
            numbers.push_back(static_cast<std::uint32_t>(number));
        }
    }
    return numbers;
}

namespace {

std::vector<std::size_t> ladderCalls(const KvIAXCapture& capture,
                                     const std::vector<std::size_t>& selected) {
    std::vector<std::size_t> chosen;
    for (const std::size_t call : selected) {
        if (call < capture.callTracker().calls().size() && chosen.size() < mostLadderCalls) {
            chosen.push_back(call);
        }
    }
    return chosen;
}

std::vector<const calls::Call*> callsOf(const KvIAXCapture& capture,
                                           const std::vector<std::size_t>& chosen) {
    std::vector<const calls::Call*> calls;
    for (const std::size_t call : chosen) {
        if (call < capture.callTracker().calls().size()) {
            calls.push_back(&capture.callTracker().calls()[call]);
        }
    }
    return calls;
}

} // namespace

LadderInSteps::LadderInSteps(const KvIAXCapture& capture, const std::vector<std::size_t>& selected)
    : chosen_(ladderCalls(capture, selected)), builder_(callsOf(capture, chosen_)) {
    for (const std::size_t call : chosen_) {
        if (const CallListening* heard = capture.listening(call)) {
            for (const auto& side : heard->sides) {
                if (side) {
                    tones_.insert(tones_.end(), side->tones.begin(), side->tones.end());
                }
            }
        }
    }
}

bool LadderInSteps::step(const KvIAXCapture& capture,
                         std::chrono::steady_clock::time_point deadline) {
    const auto& calls = capture.callTracker().calls();
    do {
        if (next_ >= chosen_.size()) {
            break;
        }
        if (chosen_[next_] >= calls.size()) {
            ++next_;
            continue;
        }
        // A few thousand steps at a time: a call may have millions.
        const calls::Call& call = calls[chosen_[next_]];
        nextStep_ = builder_.add(static_cast<std::uint32_t>(next_), call, capture.iaxFrames(),
                                 nextStep_, 4096, capture.callTracker().resends());
        if (nextStep_ >= call.signallingFrames.size()) {
            ++next_;
            nextStep_ = 0;
        }
    } while (std::chrono::steady_clock::now() < deadline);
    return next_ >= chosen_.size();
}

calls::Flow LadderInSteps::finish(const KvIAXCapture& capture) {
    calls::Flow flow = finishUnordered(capture);
    calls::putStepsInOrder(flow);
    return flow;
}

calls::Flow LadderInSteps::finishUnordered(const KvIAXCapture& capture) {
    calls::Flow flow = builder_.takeUnordered();
    // Digits are placed by the calls' positions in the ladder, which a call
    // gone since would shift.
    if (const auto calls = callsOf(capture, chosen_); calls.size() == chosen_.size()) {
        calls::appendInBandDigits(flow, calls, tones_);
    }
    return flow;
}

calls::Flow ladderOf(const KvIAXCapture& capture, const std::vector<std::size_t>& selected) {
    LadderInSteps ladder(capture, selected);
    ladder.step(capture, std::chrono::steady_clock::time_point::max());
    return ladder.finish(capture);
}

std::size_t frameCountOf(const KvIAXCapture& capture, const std::vector<std::size_t>& selected) {
    const auto& known = capture.callTracker().calls();
    std::size_t frames = 0;
    for (const std::size_t call : selected) {
        frames += call < known.size() ? known[call].frameNumbers.size() : 0;
    }
    return frames;
}

std::vector<quality::StreamFigures> trackedFiguresOf(const KvIAXCapture& capture,
                                                      const std::vector<std::size_t>& selected) {
    std::vector<quality::StreamFigures> figures;
    const auto& calls = capture.callTracker().calls();
    for (const std::size_t call : selected) {
        if (call >= calls.size()) {
            continue;
        }
        auto ofCall = capture.streamTracker() != nullptr
                          ? capture.streamTracker()->callFigures(call)
                          : std::vector<quality::StreamFigures>{};
        if (capture.streamTracker() == nullptr) {
            for (auto& stream :
                 quality::callStreams(capture.callTracker(), call, capture.iaxFrames())) {
                ofCall.push_back(std::move(stream.figures));
            }
        }
        std::move(ofCall.begin(), ofCall.end(), std::back_inserter(figures));
    }
    return figures;
}

void addActivity(const KvIAXCapture& capture, std::vector<quality::StreamFigures>& figures) {
    for (auto& stream : figures) {
        capture.addActivity(stream);
    }
}

std::vector<quality::StreamFigures> figuresOf(const KvIAXCapture& capture,
                                               const std::vector<std::size_t>& selected) {
    auto figures = trackedFiguresOf(capture, selected);
    addActivity(capture, figures);
    return figures;
}

std::string titleOf(const calls::Call& call, std::size_t index) {
    return "Call " + std::to_string(index + 1) + ": " +
           (call.from.empty() ? call.caller.text() : call.from) + " to " +
           (call.to.empty() ? call.callee.text() : call.to);
}

} // namespace callselection
