#include "app/CallSelection.h"

#include "analysis/StreamTracker.h"
#include "app/KvIAXCapture.h"

#include <algorithm>

namespace callselection {

std::vector<std::uint32_t> framesOf(const analysis::CallList& calls,
                                    const std::vector<std::size_t>& selected) {
    std::vector<std::uint32_t> numbers;
    std::size_t total = 0;
    for (const std::size_t call : selected) {
        total += call < calls.size() ? calls[call].frameNumbers.size() : 0;
    }
    numbers.reserve(total);
    for (const std::size_t call : selected) {
        if (call < calls.size()) {
            const auto& frames = calls[call].frameNumbers;
            numbers.insert(numbers.end(), frames.begin(), frames.end());
        }
    }
    // Each call's numbers rise already; only several calls need the sort.
    if (selected.size() > 1) {
        std::sort(numbers.begin(), numbers.end());
    }
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
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
                          ? capture.streamTracker()->callFigures(call, capture.iaxFrames())
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
