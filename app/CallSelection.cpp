#include "app/CallSelection.h"

#include "analysis/StreamTracker.h"
#include "app/KvIAXCapture.h"

#include <algorithm>

namespace callselection {

std::vector<std::uint32_t> framesOf(const analysis::CallList& calls,
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

analysis::Flow ladderOf(const KvIAXCapture& capture, const std::vector<std::size_t>& selected) {
    const auto& calls = capture.callTracker().calls();
    std::vector<const analysis::Call*> chosen;
    std::vector<analysis::DtmfEvent> tones;
    for (const std::size_t call : selected) {
        if (call >= calls.size()) {
            continue;
        }
        if (chosen.size() == mostLadderCalls) {
            break;
        }
        chosen.push_back(&calls[call]);
        if (const CallListening* heard = capture.listening(call)) {
            for (const auto& side : heard->sides) {
                if (side) {
                    tones.insert(tones.end(), side->tones.begin(), side->tones.end());
                }
            }
        }
    }
    analysis::Flow flow = analysis::callsFlow(chosen, capture.iaxFrames());
    analysis::addInBandDigits(flow, chosen, tones);
    return flow;
}

std::vector<analysis::StreamFigures> figuresOf(const KvIAXCapture& capture,
                                               const std::vector<std::size_t>& selected) {
    std::vector<analysis::StreamFigures> figures;
    const auto& calls = capture.callTracker().calls();
    for (const std::size_t call : selected) {
        if (call >= calls.size()) {
            continue;
        }
        auto ofCall = capture.streamTracker() != nullptr
                          ? capture.streamTracker()->callFigures(call)
                          : std::vector<analysis::StreamFigures>{};
        if (capture.streamTracker() == nullptr) {
            for (auto& stream :
                 analysis::callStreams(capture.callTracker(), call, capture.iaxFrames())) {
                ofCall.push_back(std::move(stream.figures));
            }
        }
        for (auto& stream : ofCall) {
            capture.addActivity(stream);
            figures.push_back(std::move(stream));
        }
    }
    return figures;
}

std::string titleOf(const analysis::Call& call, std::size_t index) {
    return "Call " + std::to_string(index + 1) + ": " +
           (call.from.empty() ? call.caller.text() : call.from) + " to " +
           (call.to.empty() ? call.callee.text() : call.to);
}

} // namespace callselection
