// libFuzzer target: any text as a display filter expression. It must either
// compile or give an error with a column; a compiled filter is tested against
// the frames of a small generated capture, which must never fault.
#include "calls/CallTracker.h"
#include "dissect/IaxDissector.h"
#include "filter/DisplayFilter.h"
#include "calls/FrameCalls.h"

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

namespace {

// A few frames of every kind: a NEW with elements, a voice frame, a mini
// frame, a trunk frame, a packet that is not IAX2.
struct Frames {
    Frames() {
        const IaxDissector dissector(dump);
        const std::uint8_t base[] = {0x02, 0,    0,    0,    0,    0x14, 0x02, 0,  0,   0,    0,
                                     0x0a, 0x08, 0x00, 0x45, 0,    0,    0,    0,  0,   0x40, 0,
                                     64,   17,   0,    0,    192,  0,    2,    10, 198, 51,   100,
                                     20,   0x11, 0xd9, 0x11, 0xd9, 0,    0,    0,  0};
        const std::vector<std::vector<std::uint8_t>> payloads = {
            {0x80, 0x02, 0x00, 0x00, 0,   0,   0,   4,   0,   0, 6, 1, 1, 3, '2',
             '0',  '0',  4,    5,    'A', 'l', 'i', 'c', 'e', 9, 4, 0, 0, 0, 4},
            {0x80, 0x02, 0x00, 0xc8, 0, 0, 0x08, 0, 1, 1, 2, 4, 0xff, 0xff},
            {0x00, 0x02, 0x08, 0x20, 0x55, 0x55},
            {0x00, 0x00, 0x01, 0x01, 0, 0, 0x03, 0xe8, 0x00, 0x02, 0x00, 0x05, 0x01, 0x02, 'a',
             'b'},
            {},
        };
        for (const auto& payload : payloads) {
            std::vector<std::uint8_t> packet(std::begin(base), std::end(base));
            packet.insert(packet.end(), payload.begin(), payload.end());
            const auto udpLength = static_cast<std::uint16_t>(8 + payload.size());
            packet[38] = static_cast<std::uint8_t>(udpLength >> 8);
            packet[39] = static_cast<std::uint8_t>(udpLength);
            packet[16] = static_cast<std::uint8_t>((20 + udpLength) >> 8);
            packet[17] = static_cast<std::uint8_t>(20 + udpLength);
            if (payload.empty()) {
                packet[23] = 6; // TCP
            }
            auto frame = std::make_shared<KvIAXFrame>();
            dissector.decodeInto(
                {.bytes = packet, .seconds = static_cast<std::int64_t>(list.size())}, *frame);
            list.push_back(frame);
            tracker.add(*frame, static_cast<std::uint32_t>(list.size()));
        }
        calls.update(tracker);
    }
    std::ostringstream dump;
    FrameList list;
    calls::CallTracker tracker;
    calls::FrameCalls calls;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const Frames frames;
    const std::string expression(reinterpret_cast<const char*>(data), size);
    std::string error;
    const auto compiled = filter::DisplayFilter::compile(expression, error);
    if (!compiled) {
        if (error.empty()) {
            std::abort(); // every refusal says why
        }
        return 0;
    }
    const filter::FieldContext context{.firstFrame = &frames.list.front()->facts(), .calls = &frames.calls};
    std::string why;
    for (std::size_t i = 0; i < frames.list.size(); ++i) {
        const auto verdict =
            compiled->test(*frames.list[i], static_cast<std::uint32_t>(i + 1), context, why);
        if ((verdict == filter::Verdict::Failed) == why.empty()) {
            std::abort(); // a failure always says why, and only a failure does
        }
    }
    return 0;
}
