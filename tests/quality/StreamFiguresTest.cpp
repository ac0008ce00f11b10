#include "quality/VoiceStreamBuilder.h"
#include "samples/IaxPacketBuilder.h"
#include "tests/support/Conversation.h"

#include <gtest/gtest.h>

namespace {

using iaxgen::Elements;
using iaxgen::Endpoint;

const Endpoint pbxA{{10, 0, 0, 1}, 4569};
const Endpoint pbxB{{10, 0, 0, 2}, 4569};

enum : std::uint8_t { Voice = 2, Iax = 6 };
enum : std::uint8_t { New = 1, Accept = 7 };

// Lost, duplicated and reordered frames at known places, and arrival times
// whose delta and jitter (RFC 3550, J += (|D| - J) / 16) were worked out by hand.
TEST(StreamAnalysis, CountsAndJitterOfAKnownStream) {
    Conversation c;
    c.full(pbxA, pbxB, 1, 0, Iax, New, Elements().u32(9, 4)); // G.711 u-law: 160 bytes, 20 ms
    c.full(pbxB, pbxA, 2, 1, Iax, Accept, Elements().u32(9, 4));
    const iaxgen::Bytes voice(160, 0x55);
    const std::pair<std::uint16_t, std::uint32_t> frames[] = {
        {0, 1000}, {20, 1020}, {40, 1045}, {40, 1046}, {80, 1080}, {60, 1085}, {120, 1120}};
    for (const auto& [timestamp, arrival] : frames) {
        c.at(arrival);
        c.send(pbxA, pbxB, iaxgen::miniFrame(1, timestamp, voice));
    }
    const auto streams = quality::analyzeStreams(c.frames);
    ASSERT_EQ(streams.size(), 1u);
    const auto& s = streams[0];
    EXPECT_TRUE(s.fromCaller);
    EXPECT_EQ(s.codec, "G.711 uLaw");
    EXPECT_EQ(s.frameMs, std::optional<double>(20.0));
    EXPECT_EQ(s.packets, 7u);
    EXPECT_EQ(s.expected, 7u);
    EXPECT_EQ(s.lost, 1);        // 100 never came
    EXPECT_EQ(s.duplicates, 1u); // 40 twice
    EXPECT_EQ(s.outOfOrder, 1u); // 60 after 80
    EXPECT_NEAR(s.maxDeltaMs, 35.0, 0.001);
    EXPECT_EQ(s.maxDeltaFrame, 9u); // the last frame, after NEW and ACCEPT
    EXPECT_NEAR(s.maxJitterMs, 3.649830818, 0.001);
    EXPECT_NEAR(s.meanJitterMs, 1.208756288, 0.001);
    EXPECT_NEAR(s.durationSeconds, 0.120, 0.001);

    EXPECT_EQ(quality::frameDurationMs(2, 33), std::optional<double>(20.0));   // GSM
    EXPECT_EQ(quality::frameDurationMs(256, 20), std::optional<double>(20.0)); // G.729
    EXPECT_EQ(quality::frameDurationMs(512, 20), std::nullopt);                // Speex: unknown
}

// Mini timestamps are 16 bits, extended from the sender's clock: across the
// wrap forwards, and back where a frame sent before it arrives after it.
TEST(StreamAnalysis, MiniTimestampsCrossTheSixteenBitWrapEitherWay) {
    Conversation c;
    c.full(pbxA, pbxB, 1, 0, Iax, New, Elements().u32(9, 4));
    c.full(pbxB, pbxA, 2, 1, Iax, Accept, Elements().u32(9, 4));
    const iaxgen::Bytes voice(160, 0x55);
    c.at(65000);
    auto full = [&](std::uint32_t timestamp) {
        c.send(pbxA, pbxB,
               iaxgen::fullFrame({.sourceCall = 1,
                                  .destinationCall = 2,
                                  .timestamp = timestamp,
                                  .frameType = Voice,
                                  .subclass = 4},
                                 voice));
    };
    auto mini = [&](std::uint32_t timestamp) {
        c.send(pbxA, pbxB, iaxgen::miniFrame(1, static_cast<std::uint16_t>(timestamp), voice));
    };
    full(65480);
    mini(65500);
    full(65540); // past the wrap
    mini(65520); // sent before it
    mini(65560);
    const auto streams = quality::analyzeStreams(c.frames);
    ASSERT_EQ(streams.size(), 1u);
    EXPECT_EQ(streams[0].packets, 5u);
    EXPECT_EQ(streams[0].expected, 5u); // 65480 to 65560, 20 ms apart
    EXPECT_EQ(streams[0].lost, 0);
    EXPECT_EQ(streams[0].outOfOrder, 1u);
}

} // namespace
