// Display filtering of the benchmark mix (1,000,000 packets by default):
// the time to test every frame against a five-term expression of facts, one
// with a text element, and one on the calls, as the window and quorvex-dump
// test them.
//   build/bench/filter_bench [PACKETS]
#include "calls/CallTracker.h"
#include "dissect/FrameAllocator.h"
#include "dissect/IaxDissector.h"
#include "filter/DisplayFilter.h"
#include "calls/FrameCalls.h"
#include "samples/Scenarios.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>

int main(int argc, char** argv) {
    const std::uint64_t count = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1'000'000;
    std::ostringstream dump;
    const IaxDissector dissector(dump);
    FrameAllocator allocator;
    FrameList frames;
    calls::CallTracker tracker;
    scenarios::benchmarkMix(count, [&](const iaxgen::Bytes& packet, std::int64_t us) {
        auto frame = allocator.makeFrame();
        dissector.decodeInto({.bytes = packet,
                              .seconds = us / 1'000'000,
                              .nanoseconds = static_cast<std::uint32_t>(us % 1'000'000) * 1000,
                              .index = static_cast<std::uint32_t>(frames.size())},
                             *frame);
        frames.push_back(std::move(frame));
        tracker.add(*frames.back(), static_cast<std::uint32_t>(frames.size()));
    });
    calls::FrameCalls calls;
    const auto callsStart = std::chrono::steady_clock::now();
    calls.update(tracker);
    const double callsSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - callsStart).count();
    const filter::FieldContext context{.firstFrame = &frames.front()->facts(), .calls = &calls};
    std::printf("%zu frames; which calls each frame is in: %.3f s\n", frames.size(), callsSeconds);
    for (const char* expression :
         {"iax2.packet_type == 0 && udp.port == 4569 && ip.src == 192.0.2.0/24 && "
          "iax2.src_call in {1..50} && iax2.timestamp > 1000",
          "iax2.type == 6 and iax2.iax.username == \"alice\" or frame.len > 1000",
          "quorvex.call == 7 || iax2.iax.called_number matches \"^10\""}) {
        std::string error;
        const auto filter = filter::DisplayFilter::compile(expression, error);
        if (!filter) {
            std::fprintf(stderr, "filter_bench: %s\n", error.c_str());
            return 1;
        }
        const auto start = std::chrono::steady_clock::now();
        std::size_t selected = 0;
        for (std::size_t i = 0; i < frames.size(); ++i) {
            selected += filter->test(*frames[i], static_cast<std::uint32_t>(i + 1), context,
                                     error) == filter::Verdict::Match
                            ? 1
                            : 0;
        }
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("%.3f s, %zu selected: %s\n", seconds, selected, expression);
    }
    return 0;
}
