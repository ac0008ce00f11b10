// Call tracking on a generated 1,000,000-packet capture of 1,000 calls:
// what following the calls adds to decoding (the load's own work), the
// memory it holds per frame, the time to analyse every call's voice streams,
// and the time to lay out the ladder of the largest call.
//   build/bench/call_bench [PACKETS]
#include "calls/CallFlow.h"
#include "calls/CallTracker.h"
#include "quality/VoiceStreamBuilder.h"
#include "quality/StreamTracker.h"
#include "dissect/FrameAllocator.h"
#include "dissect/IaxDissector.h"
#include "samples/Scenarios.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

long residentKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return 0;
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv) {
    const std::uint64_t count = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1'000'000;
    std::vector<iaxgen::Bytes> packets;
    std::vector<std::int64_t> times;
    scenarios::manyCalls(count, 1000, [&](const iaxgen::Bytes& p, std::int64_t us) {
        packets.push_back(p);
        times.push_back(us);
    });

    std::ostringstream dump;
    const IaxDissector dissector(dump);
    FrameAllocator allocator;
    FrameList frames;
    auto start = std::chrono::steady_clock::now();
    for (std::size_t i = 0; i < packets.size(); ++i) {
        auto frame = allocator.makeFrame();
        dissector.decodeInto(
            {.bytes = packets[i],
             .seconds = times[i] / 1'000'000,
             .nanoseconds = static_cast<std::uint32_t>(times[i] % 1'000'000) * 1000,
             .index = static_cast<std::uint32_t>(i)},
            *frame);
        frames.push_back(std::move(frame));
    }
    const double decoding = secondsSince(start);

    const long before = residentKiB();
    calls::CallTracker tracker;
    start = std::chrono::steady_clock::now();
    for (std::size_t i = 0; i < frames.size(); ++i) {
        tracker.add(*frames[i], static_cast<std::uint32_t>(i + 1));
    }
    const double tracking = secondsSince(start);
    const long after = residentKiB();

    // The streams' figures followed with the calls, as a load follows them,
    // against the same figures of each call worked out from its frames.
    calls::CallTracker followed;
    quality::StreamTracker followedStreams(followed);
    start = std::chrono::steady_clock::now();
    for (std::size_t i = 0; i < frames.size(); ++i) {
        followed.add(*frames[i], static_cast<std::uint32_t>(i + 1));
        followedStreams.add(*frames[i], static_cast<std::uint32_t>(i + 1));
    }
    const double following = secondsSince(start) - tracking;
    const auto streams = followedStreams.figures();
    start = std::chrono::steady_clock::now();
    std::vector<quality::StreamFigures> perCall;
    for (std::size_t call = 0; call < tracker.calls().size(); ++call) {
        for (auto& stream : quality::callStreams(tracker, call, frames)) {
            perCall.push_back(stream.figures);
        }
    }
    const double callByCall = secondsSince(start);
    bool same = perCall.size() == streams.size();
    for (std::size_t i = 0; same && i < streams.size(); ++i) {
        same = perCall[i].packets == streams[i].packets && perCall[i].lost == streams[i].lost &&
               perCall[i].maxJitterMs == streams[i].maxJitterMs;
    }

    const calls::Call* largest = nullptr;
    for (const auto& call : tracker.calls()) {
        if (largest == nullptr || call.frames > largest->frames) {
            largest = &call;
        }
    }
    start = std::chrono::steady_clock::now();
    const auto steps = largest != nullptr ? calls::callFlow(*largest, frames)
                                          : std::vector<calls::FlowStep>{};
    const double ladder = secondsSince(start);

    std::printf("%zu packets, %zu calls\n", frames.size(), tracker.calls().size());
    std::printf("decoding %.3f s, tracking %.3f s (%.1f %% of decoding)\n", decoding, tracking,
                100.0 * tracking / decoding);
    std::printf("streams of every call (%zu streams): %.3f s followed with the calls (%.1f %% of "
                "decoding); %.3f s call by call with their packets; the same figures: %s\n",
                streams.size(), following, 100.0 * following / decoding, callByCall,
                same ? "yes" : "NO");
    std::printf("tracking holds %.1f bytes per frame\n",
                static_cast<double>(after - before) * 1024.0 / static_cast<double>(frames.size()));
    std::printf("ladder of the largest call (%llu frames, %zu steps): %.1f ms\n",
                static_cast<unsigned long long>(largest != nullptr ? largest->frames : 0),
                steps.size(), ladder * 1000);

    // One call of 100,000 frames.
    FrameList one;
    FrameAllocator oneAllocator;
    std::uint32_t index = 0;
    scenarios::manyCalls(100'000, 1, [&](const iaxgen::Bytes& p, std::int64_t) {
        auto frame = oneAllocator.makeFrame();
        dissector.decodeInto({.bytes = p, .index = index++}, *frame);
        one.push_back(std::move(frame));
    });
    calls::CallTracker single;
    for (std::size_t i = 0; i < one.size(); ++i) {
        single.add(*one[i], static_cast<std::uint32_t>(i + 1));
    }
    start = std::chrono::steady_clock::now();
    const auto longSteps = calls::callFlow(single.calls().at(0), one);
    std::printf("ladder of a call of %llu frames (%zu steps): %.1f ms\n",
                static_cast<unsigned long long>(single.calls().at(0).frames), longSteps.size(),
                secondsSince(start) * 1000);
    return 0;
}
