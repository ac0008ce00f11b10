#include "calls/CallFlow.h"
#include "calls/CallSignals.h"
#include "quality/EModel.h"
#include "quality/Problems.h"
#include "quality/StreamMeter.h"
#include "quality/StreamTracker.h"
#include "record/IaxNumbers.h"
#include "tests/support/Conversation.h"

#include <gtest/gtest.h>

namespace {

using quality::CodecImpairment;

// Figures worked out by hand from ITU-T G.107: R = 93.2 - Id - Ie,eff with
// Ie,eff = Ie + (95 - Ie) Ppl / (Ppl / BurstR + Bpl), Id = 0.024 Ta (+ 0.11
// (Ta - 177.3) above 177.3).
TEST(EModel, RatesAsG107Says) {
    const struct {
        CodecImpairment codec;
        double lossPercent, burstRatio, delayMs;
        double rFactor, mos;
    } cases[] = {
        {{0.0, 25.1}, 0, 1, 70, 91.52, 4.374},     // G.711, no loss: 93.2 - 1.68
        {{0.0, 25.1}, 0, 1, 200, 85.903, 4.226},   // past 177.3 ms the delay weighs more
        {{11.0, 19.0}, 1, 1, 70, 76.32, 3.878},    // G.729A: 11 + 84 / 20
        {{15.0, 16.1}, 5, 2, 100, 54.295, 2.801},  // G.723.1, bursty loss
        {{0.0, 25.1}, 100, 1, 1000, -97.236, 1.0}, // below 0: MOS 1
    };
    for (const auto& c : cases) {
        const auto rating = quality::rate(c.codec, c.lossPercent, c.burstRatio, c.delayMs);
        EXPECT_NEAR(rating.rFactor, c.rFactor, 0.01) << c.lossPercent << " % at " << c.delayMs;
        EXPECT_NEAR(rating.mos, c.mos, 0.001) << c.lossPercent << " % at " << c.delayMs;
    }
    EXPECT_EQ(quality::mosOf(120), 4.5);
    EXPECT_FALSE(quality::codecImpairment(iax::Gsm).bpl); // G.113 gives no Bpl for GSM
    EXPECT_FALSE(quality::codecImpairment(iax::Speex).ie);
}

// 300 frames 20 ms apart: 50-52 and 100 never come, 200 comes 80 ms late
// and 250 120 ms late, each after the frames that follow it.
std::vector<quality::StreamPacket> impairedStream() {
    std::vector<quality::StreamPacket> packets;
    for (std::uint32_t k = 0; k < 300; ++k) {
        if ((k >= 50 && k <= 52) || k == 100) {
            continue;
        }
        quality::StreamPacket packet;
        packet.frameNumber = k + 1;
        packet.timestamp = 100 + 20 * k;
        packet.arrivalMs = 20.0 * k + (k == 200 ? 80 : k == 250 ? 120 : 0);
        packets.push_back(packet);
    }
    std::stable_sort(packets.begin(), packets.end(),
                     [](const auto& a, const auto& b) { return a.arrivalMs < b.arrivalMs; });
    return packets;
}

TEST(StreamMeter, JudgesLateFramesAndTheLossPatternAtEachBuffer) {
    // Slots lost at 50 ms: 50, 51, 52, 100, 200, 250. Of the 293 received
    // slots followed by another, 4 are followed by a lost one (49, 99, 199,
    // 249): p = 4/293; of the 6 lost ones followed by another, 4 by a
    // received one: q = 4/6. At 100 ms frame 200 is in time: p = 3/294,
    // q = 3/5. Ppl = 100 * effectiveLost / 300; Ta = B + 20 (+ RTT / 2).
    const struct {
        double buffer;
        std::optional<double> roundTrip;
        std::uint64_t late;
        double burstRatio, rFactor, mos;
    } cases[] = {
        {50, std::nullopt, 2, 1.46990, 84.340, 4.177},
        {50, 40.0, 2, 1.46990, 83.860, 4.161},
        {100, std::nullopt, 1, 1.63880, 84.258, 4.174},
    };
    for (const auto& c : cases) {
        quality::StreamMeter meter(c.buffer);
        auto packets = impairedStream();
        for (auto& packet : packets) {
            meter.add(packet);
        }
        const auto figures = meter.figures(20.0, iax::Ulaw, c.roundTrip);
        EXPECT_EQ(figures.expected, 300u);
        EXPECT_EQ(figures.lost, 4);
        EXPECT_EQ(figures.late, c.late);
        EXPECT_EQ(figures.effectiveLost, 4 + static_cast<std::int64_t>(c.late));
        EXPECT_EQ(figures.outOfOrder, 2u);
        EXPECT_NEAR(*figures.burstRatio, c.burstRatio, 1e-4) << c.buffer;
        EXPECT_NEAR(*figures.rFactor, c.rFactor, 0.01) << c.buffer;
        EXPECT_NEAR(*figures.mos, c.mos, 0.01) << c.buffer;

        const auto trouble = meter.trouble(20.0);
        using Run = std::pair<std::uint32_t, std::uint32_t>;
        EXPECT_EQ(trouble.lossRuns, (std::vector<Run>{{54, 3}, {102, 1}}));
        EXPECT_EQ(trouble.outOfOrder, (std::vector<std::uint32_t>{201, 251}));
        const std::vector<Run> lateRuns =
            c.late == 2 ? std::vector<Run>{{201, 1}, {251, 1}} : std::vector<Run>{{251, 1}};
        EXPECT_EQ(trouble.lateRuns, lateRuns);
        const auto lateFlagged =
            std::count_if(packets.begin(), packets.end(), [](const auto& p) { return p.late; });
        EXPECT_EQ(static_cast<std::uint64_t>(lateFlagged), c.late);
    }
}

// A frame is out of order when an earlier one had a later timestamp: the
// largest so far, not the last (80 passes both 40 and 60).
TEST(StreamMeter, CountsOutOfOrderAgainstTheLargestTimestampSoFar) {
    quality::StreamMeter meter(50);
    double arrival = 0;
    for (const std::uint32_t timestamp : {0, 20, 80, 40, 60, 100}) {
        quality::StreamPacket packet;
        packet.timestamp = timestamp;
        packet.arrivalMs = arrival += 20;
        meter.add(packet);
    }
    EXPECT_EQ(meter.figures(20.0, iax::Ulaw, std::nullopt).outOfOrder, 2u);
}

TEST(StreamMeter, GivesNoVerdictWithoutTheCodecsFigures) {
    quality::StreamMeter meter;
    auto packets = impairedStream();
    for (auto& packet : packets) {
        meter.add(packet);
    }
    const auto gsm = meter.figures(20.0, iax::Gsm, std::nullopt);
    EXPECT_TRUE(gsm.burstRatio);
    EXPECT_FALSE(gsm.mos);
    const auto unknownDuration = meter.figures(std::nullopt, iax::Ulaw, std::nullopt);
    EXPECT_FALSE(unknownDuration.burstRatio);
    EXPECT_EQ(unknownDuration.effectiveLost, 2); // the late ones alone
}

const iaxgen::Endpoint caller{{10, 0, 0, 1}, 4569};
const iaxgen::Endpoint callee{{10, 0, 0, 2}, 4569};
enum : std::uint8_t { Control = 4, Iax = 6, DtmfEnd = 1, DtmfBegin = 12 };

TEST(CallSignals, PairsProbesReadsReportsAndTakesDigitsOnce) {
    Conversation c;
    c.full(caller, callee, 1, 0, Iax, iax::New, iaxgen::Elements().u32(9, iax::Ulaw));
    c.full(callee, caller, 2, 1, Iax, iax::Accept, iaxgen::Elements().u32(9, iax::Ulaw));
    c.at(1000);
    c.full(caller, callee, 1, 2, Iax, iax::Ping); // timestamp 1000
    c.at(1030);
    c.full(callee, caller, 2, 1, Iax, iax::Pong,
           iaxgen::Elements().u32(46, 7).u32(47, 2u << 24 | 5).u32(48, 99).u16(49, 40), false,
           1000);
    c.at(1500);
    c.full(callee, caller, 2, 1, Iax, iax::Ping); // the callee probes too: timestamp 1500
    c.at(1600);
    c.full(caller, callee, 1, 2, Iax, iax::Pong, {}, false, 1500);
    c.full(caller, callee, 1, 2, Iax, iax::Pong, {}, true, 1500); // resent: measures nothing
    c.at(2000);
    c.full(caller, callee, 1, 2, Iax, iax::LagRequest);
    c.at(2080);
    c.full(callee, caller, 2, 1, Iax, iax::LagReply, {}, false, 2000);
    c.at(3000);
    c.full(caller, callee, 1, 2, DtmfBegin, '7');
    c.full(caller, callee, 1, 2, DtmfEnd, '7');
    c.full(caller, callee, 1, 2, DtmfEnd, '7', {}, true, 3010); // the same press resent
    c.full(callee, caller, 2, 1, DtmfEnd, '#');

    // As the stream tracker feeds it: a resend not again.
    calls::CallSignals signals(c.tracker.calls(), 0);
    for (std::size_t i = 0; i < c.frames.size(); ++i) {
        const auto number = static_cast<std::uint32_t>(i + 1);
        if (calls::originalIn(c.tracker.resends(), number) == 0) {
            signals.add(*c.frames[i], number);
        }
    }
    const auto quality = signals.quality();
    EXPECT_EQ(quality.rttSamples, 2u);
    EXPECT_NEAR(*quality.rttMin, 30, 1e-9);
    EXPECT_NEAR(*quality.rttMax, 100, 1e-9);
    EXPECT_NEAR(*quality.rttMean, 65, 1e-9);
    EXPECT_EQ(quality.lagSamples, 1u);
    EXPECT_NEAR(*quality.lagMean, 80, 1e-9);
    EXPECT_EQ(quality.dtmf, "7#");
    EXPECT_EQ(signals.dtmf().size(), 3u);

    // The callee's report is on the stream it receives, the caller's.
    ASSERT_EQ(signals.reportsBy(1).size(), 1u);
    const auto& report = signals.reportsBy(1).front();
    EXPECT_EQ(report.jitter, 7u);
    EXPECT_EQ(report.lossPercent, 2u);
    EXPECT_EQ(report.lost, 5u);
    EXPECT_EQ(report.packets, 99u);
    EXPECT_EQ(report.delay, 40u);
    EXPECT_FALSE(report.dropped);
    EXPECT_EQ(report.frame, 4u);
    EXPECT_TRUE(signals.reportsBy(0).empty());
}

} // namespace

// A call whose far end lost two digits and asked for them again (VNAK): the
// sender resends them with the same sequence numbers and timestamps and its
// retransmission flag clear, as real peers do. Each resend is one key press,
// one retransmission, dashed on the ladder, and judged once.
TEST(Resends, AFrameSentAgainWithoutItsFlagCountsOnce) {
    Conversation c;
    const auto full = [&](bool fromCaller, std::uint8_t out, std::uint32_t timestamp,
                          std::uint8_t type, std::uint8_t subclass, bool retry = false) {
        c.send(fromCaller ? caller : callee, fromCaller ? callee : caller,
               iaxgen::fullFrame({fromCaller ? std::uint16_t{1} : std::uint16_t{2},
                                  fromCaller ? std::uint16_t{0} : std::uint16_t{1}, retry,
                                  timestamp, out, 0, type, subclass},
                                 {}));
    };
    c.send(caller, callee,
           iaxgen::fullFrame({1, 0, false, 0, 0, 0, Iax, iax::New},
                             iaxgen::Elements().u32(9, iax::Ulaw).bytes()));
    full(false, 0, 5, Iax, iax::Accept);
    full(false, 1, 10, 4, iax::Answer);
    full(true, 1, 500, DtmfEnd, '5');    // frame 4: lost on the way
    full(true, 2, 700, DtmfEnd, '6');    // frame 5: lost too
    full(false, 2, 720, Iax, iax::Vnak); // "send again from 1"
    full(true, 1, 500, DtmfEnd, '5');    // frame 7: resent, flag clear
    full(true, 2, 700, DtmfEnd, '6');    // frame 8
    full(true, 2, 700, DtmfEnd, '6', true); // frame 9: and again, flagged
    full(true, 3, 900, DtmfEnd, '6');    // frame 10: a new press of the same key
    full(false, 3, 950, Iax, iax::Vnak); // frame 11: unsequenced, never a resend
    full(false, 3, 950, Iax, iax::Vnak);

    EXPECT_EQ(std::vector(c.tracker.resends().begin(), c.tracker.resends().end()),
              (std::vector<std::pair<std::uint32_t, std::uint32_t>>{{7, 4}, {8, 5}, {9, 5}}));
    EXPECT_EQ(c.tracker.calls()[0].retransmissions, 3u);
    // Fed as the capture feeds them: after the call tracker, frame by frame.
    calls::CallTracker again;
    quality::StreamTracker followed(again);
    quality::ProblemTracker judged(again);
    for (std::size_t i = 0; i < c.frames.size(); ++i) {
        const auto number = static_cast<std::uint32_t>(i + 1);
        again.add(*c.frames[i], number);
        followed.add(*c.frames[i], number);
        judged.add(*c.frames[i], number);
    }
    EXPECT_EQ(followed.verdict(0).quality.dtmf, "566");
    std::size_t retransmissions = 0;
    for (const auto& problem : judged.found()) {
        retransmissions += problem.kind == quality::ProblemKind::Retransmission ? 1 : 0;
    }
    EXPECT_EQ(retransmissions, 3u);
    std::vector<std::string> dashed;
    for (const auto& step : calls::callFlow(again.calls()[0], c.frames, again.resends())) {
        if (step.resent) {
            dashed.push_back(step.label);
        }
    }
    EXPECT_EQ(dashed, (std::vector<std::string>{"DTMF 5 (resent)", "DTMF 6 (resent)",
                                                "DTMF 6 (R)"}));
}

// The streams' size is measured when asked, for the calls that took frames
// since: asked after every frame or once at the end, it must be the same.
TEST(StreamTracker, HeldBytesDoNotDependOnWhenTheyAreAsked) {
    Conversation c;
    const iaxgen::Endpoint other{{10, 0, 0, 3}, 4569};
    c.full(caller, callee, 1, 0, Iax, iax::New, iaxgen::Elements().u32(9, iax::Ulaw));
    for (std::uint32_t ms = 100; ms < 20'000; ms += 20) {
        c.at(ms);
        c.mini(caller, callee, 1);
        if (ms == 5000) {
            c.full(other, callee, 7, 0, Iax, iax::New, iaxgen::Elements().u32(9, iax::Ulaw));
        }
        if (ms > 5000) {
            c.mini(other, callee, 7);
        }
    }
    calls::CallTracker calls;
    quality::StreamTracker everyFrame(calls, {});
    quality::StreamTracker atTheEnd(calls, {});
    const std::uint64_t empty = everyFrame.heldBytes();
    std::uint64_t grown = 0;
    for (std::size_t i = 0; i < c.frames.size(); ++i) {
        const auto number = static_cast<std::uint32_t>(i + 1);
        calls.add(*c.frames[i], number);
        everyFrame.add(*c.frames[i], number);
        atTheEnd.add(*c.frames[i], number);
        const std::uint64_t held = everyFrame.heldBytes();
        EXPECT_GE(held, grown);
        grown = held;
    }
    EXPECT_EQ(calls.calls().size(), 2u);
    EXPECT_GT(grown, empty + 1000); // the caller's arrivals are kept
    EXPECT_EQ(atTheEnd.heldBytes(), everyFrame.heldBytes());
}
