// libFuzzer target: a sequence of IAX2 datagrams between two hosts, each
// a byte of direction and delay, a byte of length and that many bytes of
// payload, decoded and followed as a load follows them: calls, streams,
// round trips, receiver reports, DTMF and problems, then every figure and
// text made of them. Timestamps, call numbers and sequences are the
// fuzzer's to choose, so that streams jump, wrap, repeat and reorder.
#include "quality/VoiceStreamBuilder.h"
#include "calls/CallFlow.h"
#include "quality/Problems.h"
#include "quality/StreamTracker.h"
#include "common/Log.h"
#include "dissect/IaxDissector.h"
#include "fuzz/Discarding.h"
#include "samples/IaxPacketBuilder.h"

#include <cstddef>
#include <cstdint>
#include <ostream>

namespace {

const iaxgen::Endpoint hostA{{10, 0, 0, 1}, 4569};
const iaxgen::Endpoint hostB{{10, 0, 0, 2}, 4569};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::ostream& discard = discarding::stream();
    static const IaxDissector dissector(discard);
    discarding::silenceLog();
    if (size > 8192) {
        return -1;
    }
    FrameList frames;
    calls::CallTracker calls;
    quality::StreamTracker streams(calls, {.jitterBufferMs = 20});
    quality::ProblemTracker problems(calls);
    std::uint64_t microseconds = 0;
    for (std::size_t at = 0; at + 2 <= size;) {
        const std::uint8_t head = data[at];
        const std::size_t length = std::min<std::size_t>(data[at + 1], size - at - 2);
        const std::span<const std::uint8_t> payload(data + at + 2, length);
        at += 2 + length;
        // The delay's low bit is the direction; a step of up to 127 ms.
        microseconds += (head >> 1) * 1000u;
        const bool fromA = (head & 1) == 0;
        const auto packet =
            iaxgen::udpPacket(fromA ? hostA : hostB, fromA ? hostB : hostA, payload);
        auto frame = std::make_shared<KvIAXFrame>();
        dissector.decodeInto(
            {.bytes = packet,
             .seconds = static_cast<std::int64_t>(microseconds / 1'000'000),
             .nanoseconds = static_cast<std::uint32_t>(microseconds % 1'000'000) * 1000,
             .index = static_cast<std::uint32_t>(frames.size())},
            *frame);
        frames.push_back(frame);
        const auto number = static_cast<std::uint32_t>(frames.size());
        calls.add(*frame, number);
        streams.add(*frame, number);
        problems.add(*frame, number);
    }
    std::string text;
    const auto figures = streams.figures();
    for (const auto& problem : quality::allProblems(problems, calls, streams, figures)) {
        text += quality::problemText(problem, frames);
    }
    for (std::size_t call = 0; call < calls.calls().size(); ++call) {
        const auto verdict = streams.verdict(call);
        text += verdict.quality.dtmf;
        for (auto& stream : quality::callStreams(calls, call, frames)) {
            (void)quality::sendingOrder(stream.packets);
        }
        text += calls::callFlowText(calls.calls()[call], frames);
    }
    return text.empty() ? 0 : 0;
}
