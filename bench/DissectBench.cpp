// Dissection alone, on one core: the benchmark mix of 90 % mini frames, 5 %
// voice full frames and 5 % IAX control frames with six elements each.
//   build/bench/dissect_bench
#include "common/Log.h"
#include "dissect/FrameAllocator.h"
#include "dissect/IaxDissector.h"
#include "samples/LinkVariants.h"
#include "samples/Scenarios.h"

#include <benchmark/benchmark.h>

#include <fstream>
#include <sstream>
#include <string>

namespace {

const std::vector<iaxgen::Bytes>& mix() {
    static const std::vector<iaxgen::Bytes> packets = [] {
        std::vector<iaxgen::Bytes> list;
        scenarios::benchmarkMix(2000,
                                [&](const iaxgen::Bytes& p, std::int64_t) { list.push_back(p); });
        return list;
    }();
    return packets;
}

class NullLog final : public kvlog::LogSink {
public:
    void write(std::string_view) override {}
};

long residentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return 0;
}

const std::vector<iaxgen::Bytes>& cookedMix() {
    static const std::vector<iaxgen::Bytes> packets = [] {
        std::vector<iaxgen::Bytes> list;
        for (const auto& packet : mix()) {
            list.push_back(iaxgen::reframe(iaxgen::Variant::LinuxCooked, packet));
        }
        return list;
    }();
    return packets;
}

void decodeAll(benchmark::State& state, const std::vector<iaxgen::Bytes>& packets,
               std::uint16_t linkType) {
    std::ostringstream dump;
    const IaxDissector dissector(dump);
    FrameAllocator allocator;
    std::size_t i = 0;
    for (auto _ : state) {
        auto frame = allocator.makeFrame();
        dissector.decodeInto({.bytes = packets[i], .linkType = linkType}, *frame);
        benchmark::DoNotOptimize(frame);
        i = (i + 1) % packets.size();
    }
    state.SetItemsProcessed(state.iterations());
}

// As the product runs: debug logging off, records made as a worker makes them.
void BM_DecodeMix(benchmark::State& state) {
    decodeAll(state, mix(), 1);
}
BENCHMARK(BM_DecodeMix);

// The same packets as a capture on "any" writes them (Linux cooked v1).
void BM_DecodeMixLinuxCooked(benchmark::State& state) {
    decodeAll(state, cookedMix(), 113);
}
BENCHMARK(BM_DecodeMixLinuxCooked);

// With debug logging on and the lines discarded, to show what making them costs.
void BM_DecodeMixWithDebugLog(benchmark::State& state) {
    NullLog log;
    kvlog::setSink(&log);
    kvlog::setDebugEnabled(true);
    BM_DecodeMix(state);
    kvlog::setDebugEnabled(false);
    kvlog::setSink(nullptr);
}
BENCHMARK(BM_DecodeMixWithDebugLog);

// Memory held per decoded frame record, as a capture's frame list holds them.
void BM_BytesPerFrameRecord(benchmark::State& state) {
    NullLog log;
    kvlog::setSink(&log);
    std::ostringstream dump;
    const IaxDissector dissector(dump);
    const auto& packets = mix();
    constexpr std::size_t frames = 1'000'000;
    for (auto _ : state) {
        const long before = residentKiB();
        FrameList list;
        FrameAllocator allocator;
        for (std::size_t i = 0; i < frames; ++i) {
            auto frame = allocator.makeFrame();
            dissector.decodeInto({.bytes = packets[i % packets.size()]}, *frame);
            list.push_back(std::move(frame));
        }
        const long after = residentKiB();
        state.counters["bytes_per_frame"] =
            static_cast<double>(after - before) * 1024.0 / static_cast<double>(frames);
    }
    kvlog::setSink(nullptr);
}
BENCHMARK(BM_BytesPerFrameRecord)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
