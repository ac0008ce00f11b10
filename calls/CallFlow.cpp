#include "calls/CallFlow.h"

#include "dissect/FrameSummary.h"
#include "record/IaxNumbers.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>

namespace calls {
namespace {

constexpr int arrowWidth = 36;

std::string arrow(const std::string& label, bool toCallee, char shaft) {
    std::string line(arrowWidth, shaft);
    const std::size_t width = std::min(line.size(), label.size() + 2);
    line.replace((line.size() - width) / 2, width, " " + label + " ");
    return toCallee ? "|" + line + ">|" : "|<" + line + "|";
}

double secondsSince(const Call& call, const FrameFacts& facts) {
    const long long micro =
        (facts.captureSeconds - call.start.seconds) * 1'000'000LL +
        (static_cast<long long>(facts.captureNanoseconds) - call.start.nanoseconds) / 1000;
    return static_cast<double>(micro) / 1e6;
}

} // namespace

std::vector<FlowStep> callFlow(const Call& call, const FrameList& frames, Resends resends) {
    std::vector<FlowStep> steps;
    appendCallFlow(call, frames, 0, call.signallingFrames.size(), steps, resends);
    return steps;
}

std::size_t appendCallFlow(const Call& call, const FrameList& frames, std::size_t from,
                           std::size_t most, std::vector<FlowStep>& steps, Resends resends) {
    const auto stepOf = [&](std::uint32_t number) {
        const KvIAXFrame& frame = *frames[number - 1];
        FlowStep step;
        step.seconds = secondsSince(call, frame.facts());
        step.toCallee = endpointOf(frame, true) == call.caller;
        step.frameNumber = number;
        return step;
    };
    const std::string codec = call.codecName();
    // Each direction's voice is one band, where its first frame came: the
    // call tracker counted it, so that the voice frames are not read again.
    std::array<std::uint32_t, 2> bands = call.firstVoiceFrame;
    const auto& signalling = call.signallingFrames;
    from = std::min(from, signalling.size());
    if (from > 0) {
        for (std::uint32_t& band : bands) {
            band = band < signalling[from - 1] ? 0 : band; // placed before
        }
    }
    const auto addBandsBefore = [&](std::uint64_t limit) {
        for (;;) {
            std::size_t next = 2;
            for (std::size_t side = 0; side < 2; ++side) {
                if (bands[side] != 0 && bands[side] < limit &&
                    (next == 2 || bands[side] < bands[next])) {
                    next = side;
                }
            }
            if (next == 2) {
                return;
            }
            if (bands[next] <= frames.size()) {
                FlowStep step = stepOf(bands[next]);
                step.voiceBand = true;
                step.voiceFrames = call.voiceFrames[next];
                step.label = "voice x" + std::to_string(step.voiceFrames) +
                             (codec.empty() ? "" : " " + codec);
                steps.push_back(std::move(step));
            }
            bands[next] = 0;
        }
    };
    const std::size_t to = signalling.size() - from > most ? from + most : signalling.size();
    for (std::size_t position = from; position < to; ++position) {
        const std::uint32_t number = signalling[position];
        addBandsBefore(number);
        if (number == 0 || number > frames.size()) {
            continue;
        }
        FlowStep step = stepOf(number);
        step.label = framesummary::label(*frames[number - 1]);
        if (frames[number - 1]->facts().retransmission != 0) {
            step.label += " (R)";
            step.resent = true;
        } else if (originalIn(resends, number) != 0) {
            step.label += " (resent)";
            step.resent = true;
        }
        steps.push_back(std::move(step));
    }
    if (to == signalling.size()) {
        addBandsBefore(UINT64_MAX);
    }
    return to;
}

CallsFlowBuilder::CallsFlowBuilder(const std::vector<const Call*>& calls) {
    auto column = [this](const Endpoint& end) {
        for (std::size_t i = 0; i < flow_.columns.size(); ++i) {
            if (flow_.columns[i] == end) {
                return static_cast<int>(i);
            }
        }
        flow_.columns.push_back(end);
        return static_cast<int>(flow_.columns.size() - 1);
    };
    const Call* earliest = nullptr;
    for (const Call* call : calls) {
        if (earliest == nullptr || call->start.seconds < earliest->start.seconds ||
            (call->start.seconds == earliest->start.seconds &&
             call->start.nanoseconds < earliest->start.nanoseconds)) {
            earliest = call;
        }
    }
    for (const Call* call : calls) {
        Placed placed;
        placed.caller = column(call->caller);
        placed.callee = column(call->callee);
        // Times from the earliest call's first frame.
        placed.shift = static_cast<double>(call->start.seconds - earliest->start.seconds) +
                       (static_cast<double>(call->start.nanoseconds) -
                        static_cast<double>(earliest->start.nanoseconds)) /
                           1e9;
        placed_.push_back(placed);
    }
    // A step per signalling frame and a band per direction: the ladder of
    // calls of millions of frames would otherwise be moved as it grows, in
    // one call's turn.
    std::size_t steps = 0;
    for (const Call* call : calls) {
        steps += call->signallingFrames.size() + 2;
    }
    flow_.steps.reserve(steps);
}

void CallsFlowBuilder::add(std::uint32_t index, const Call& call, const FrameList& frames,
                           Resends resends) {
    add(index, call, frames, 0, SIZE_MAX, resends);
}

std::size_t CallsFlowBuilder::add(std::uint32_t index, const Call& call, const FrameList& frames,
                                  std::size_t from, std::size_t most, Resends resends) {
    if (index >= placed_.size()) {
        return call.signallingFrames.size();
    }
    const Placed& placed = placed_[index];
    std::vector<FlowStep> steps;
    const std::size_t next = appendCallFlow(call, frames, from, most, steps, resends);
    for (FlowStep step : steps) {
        step.seconds += placed.shift;
        step.from = step.toCallee ? placed.caller : placed.callee;
        step.to = step.toCallee ? placed.callee : placed.caller;
        step.call = index;
        flow_.steps.push_back(std::move(step));
    }
    return next;
}

Flow CallsFlowBuilder::take() {
    Flow flow = takeUnordered();
    putStepsInOrder(flow);
    return flow;
}

void putStepsInOrder(Flow& flow) {
    std::stable_sort(
        flow.steps.begin(), flow.steps.end(),
        [](const FlowStep& a, const FlowStep& b) { return a.frameNumber < b.frameNumber; });
}

Flow callsFlow(const std::vector<const Call*>& calls, const FrameList& frames, Resends resends) {
    CallsFlowBuilder builder(calls);
    for (std::uint32_t index = 0; index < calls.size(); ++index) {
        builder.add(index, *calls[index], frames, resends);
    }
    return builder.take();
}

void addInBandDigits(Flow& flow, const std::vector<const Call*>& calls,
                     const std::vector<DtmfEvent>& tones) {
    appendInBandDigits(flow, calls, tones);
    putStepsInOrder(flow);
}

void appendInBandDigits(Flow& flow, const std::vector<const Call*>& calls,
                        const std::vector<DtmfEvent>& tones) {
    const Call* earliest = nullptr;
    for (const Call* call : calls) {
        if (earliest == nullptr ||
            std::pair(call->start.seconds, call->start.nanoseconds) <
                std::pair(earliest->start.seconds, earliest->start.nanoseconds)) {
            earliest = call;
        }
    }
    const auto columnOf = [&flow](const Endpoint& end) {
        const auto at = std::find(flow.columns.begin(), flow.columns.end(), end);
        return static_cast<int>(at - flow.columns.begin());
    };
    for (const DtmfEvent& tone : tones) {
        // The call whose frames hold the tone's (frame numbers rise).
        const Call* call = nullptr;
        std::uint32_t index = 0;
        for (; index < calls.size(); ++index) {
            if (std::binary_search(calls[index]->frameNumbers.begin(),
                                   calls[index]->frameNumbers.end(), tone.frame)) {
                call = calls[index];
                break;
            }
        }
        if (call == nullptr || tone.source != DtmfEvent::Source::InBand) {
            continue;
        }
        FlowStep step;
        step.seconds = static_cast<double>(tone.captured.seconds - earliest->start.seconds) +
                       (static_cast<double>(tone.captured.nanoseconds) -
                        static_cast<double>(earliest->start.nanoseconds)) /
                           1e9;
        step.toCallee = tone.fromCaller;
        step.from = columnOf(tone.fromCaller ? call->caller : call->callee);
        step.to = columnOf(tone.fromCaller ? call->callee : call->caller);
        step.mark = true;
        step.label = std::string("DTMF ") + tone.digit + " (in band)";
        step.frameNumber = tone.frame;
        step.call = index;
        flow.steps.push_back(std::move(step));
    }
}

std::string callFlowText(const Call& call, const FrameList& frames, Resends resends) {
    const std::string caller = call.caller.text();
    std::string text = "          " + caller;
    text.append(arrowWidth + 3 > caller.size() ? arrowWidth + 3 - caller.size() : 1, ' ');
    text += call.callee.text() + "\n";
    for (const FlowStep& step : callFlow(call, frames, resends)) {
        char time[32];
        std::snprintf(time, sizeof time, "%9.3f ", step.seconds);
        text += time + arrow(step.label, step.toCallee, step.voiceBand ? '=' : '-') + "\n";
    }
    return text;
}

} // namespace calls
