#include "analysis/CallFlow.h"

#include <cstdio>

namespace analysis {
namespace {

constexpr int arrowWidth = 36;

std::string arrow(const std::string& label, bool toCallee) {
    std::string line(arrowWidth, '-');
    const std::size_t start = (line.size() - std::min(line.size(), label.size() + 2)) / 2;
    line.replace(start, std::min(line.size(), label.size() + 2), " " + label + " ");
    return toCallee ? "|" + line + ">|" : "|<" + line + "|";
}

std::string seconds(const Call& call, const FrameFacts& facts) {
    const long long micro =
        (facts.captureSeconds - call.start.seconds) * 1'000'000LL +
        (static_cast<long long>(facts.captureNanoseconds) - call.start.nanoseconds) / 1000;
    char text[32];
    std::snprintf(text, sizeof text, "%9.3f", static_cast<double>(micro) / 1e6);
    return text;
}

bool isVoice(const FrameFacts& facts) {
    return facts.kind() != FrameKind::Full || facts.frameType == 2;
}

} // namespace

std::string callFlowText(const Call& call, const FrameList& frames) {
    std::string text = "          " + call.caller.text();
    text.append(
        arrowWidth + 3 > call.caller.text().size() ? arrowWidth + 3 - call.caller.text().size() : 1,
        ' ');
    text += call.callee.text() + "\n";

    std::uint64_t voice[2] = {0, 0}; // to the callee, to the caller
    std::size_t band[2] = {std::string::npos, std::string::npos};
    for (const std::uint32_t number : call.frameNumbers) {
        if (number == 0 || number > frames.size()) {
            continue;
        }
        const KvIAXFrame& frame = *frames[number - 1];
        const FrameFacts& facts = frame.facts();
        const bool toCallee = endpointOf(frame, true) == call.caller;
        if (isVoice(facts)) {
            const int direction = toCallee ? 0 : 1;
            if (voice[direction]++ == 0) {
                band[direction] = text.size();
                text += seconds(call, facts) + " " + std::string(1, '\x01' + direction) + "\n";
            }
            continue;
        }
        std::string label = frame.text(PropertyKey::subclass);
        if (facts.retransmission != 0) {
            label += " (R)";
        }
        text += seconds(call, facts) + " " + arrow(label, toCallee) + "\n";
    }
    // The voice bands, now that their counts are known.
    for (int direction = 1; direction >= 0; --direction) {
        if (band[direction] == std::string::npos) {
            continue;
        }
        const std::size_t marker =
            text.find(static_cast<char>('\x01' + direction), band[direction]);
        const std::string label = "voice x" + std::to_string(voice[direction]) +
                                  (call.codecName().empty() ? "" : " " + call.codecName());
        std::string line = arrow(label, direction == 0);
        for (char& c : line) {
            c = c == '-' ? '=' : c;
        }
        text.replace(marker, 1, line);
    }
    return text;
}

} // namespace analysis
