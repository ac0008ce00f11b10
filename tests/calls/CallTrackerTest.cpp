#include "calls/CallFlow.h"
#include "calls/CallTracker.h"
#include "dissect/IaxDissector.h"
#include "samples/IaxPacketBuilder.h"
#include "tests/support/Conversation.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

using iaxgen::Elements;
using iaxgen::Endpoint;
using iaxgen::FullHeader;

const Endpoint pbxA{{10, 0, 0, 1}, 4569};
const Endpoint pbxB{{10, 0, 0, 2}, 4569};

enum : std::uint8_t { Voice = 2, Control = 4, Iax = 6 };
enum : std::uint8_t {
    New = 1,
    Ping = 2,
    Ack = 4,
    Hangup = 5,
    Reject = 6,
    Accept = 7,
    RegReq = 13,
    RegAuth = 14,
    RegAck = 15,
    RegRej = 16,
    RegRel = 17,
};
enum : std::uint8_t { Ringing = 3, Answer = 4 };

// A call from A (call 1) to B (call 2): NEW, ACCEPT, ringing, answer, voice.
void setUp(Conversation& c, std::uint16_t a = 1, std::uint16_t b = 2, bool answer = true) {
    c.full(pbxA, pbxB, a, 0, Iax, New,
           Elements().text(1, "100").text(2, "200").text(4, "Alice").u32(9, 4));
    c.full(pbxB, pbxA, b, a, Iax, Accept, Elements().u32(9, 2));
    c.full(pbxA, pbxB, a, b, Iax, Ack);
    c.full(pbxB, pbxA, b, a, Control, Ringing);
    if (answer) {
        c.full(pbxB, pbxA, b, a, Control, Answer);
        c.mini(pbxA, pbxB, a);
        c.mini(pbxB, pbxA, b);
    }
}

std::string summary(const calls::Call& call) {
    using Side = calls::Call::Side;
    return std::string(calls::stateText(call.state)) + " by " +
           (call.hungUpBy == Side::Caller   ? "caller"
            : call.hungUpBy == Side::Callee ? "callee"
                                            : "-") +
           " cause '" + call.cause + "'";
}

} // namespace

TEST(CallTracker, StatesOfOneCall) {
    struct Case {
        const char* name;
        void (*play)(Conversation&);
        const char* expected;
    };
    const Case cases[] = {
        {"answered, hung up by the caller",
         [](Conversation& c) {
             setUp(c);
             c.full(pbxA, pbxB, 1, 2, Iax, Hangup,
                    Elements().text(22, "Normal Clearing").u8(42, 16));
             c.full(pbxB, pbxA, 2, 1, Iax, Ack);
         },
         "Completed by caller cause 'Normal Clearing'"},
        {"answered, hung up by the callee",
         [](Conversation& c) {
             setUp(c);
             c.full(pbxB, pbxA, 2, 1, Iax, Hangup);
         },
         "Completed by callee cause ''"},
        {"answered and still up; pings change nothing",
         [](Conversation& c) {
             setUp(c);
             c.full(pbxA, pbxB, 1, 2, Iax, Ping);
             c.full(pbxB, pbxA, 2, 1, Iax, Ack);
         },
         "Answered by - cause ''"},
        {"ringing again after the answer stays answered",
         [](Conversation& c) {
             setUp(c);
             c.full(pbxB, pbxA, 2, 1, Control, Ringing);
         },
         "Answered by - cause ''"},
        {"cancelled while ringing",
         [](Conversation& c) {
             setUp(c, 1, 2, false);
             c.full(pbxA, pbxB, 1, 2, Iax, Hangup);
         },
         "Cancelled by caller cause ''"},
        {"rejected busy",
         [](Conversation& c) {
             c.full(pbxA, pbxB, 1, 0, Iax, New);
             c.full(pbxB, pbxA, 2, 1, Iax, Reject, Elements().text(22, "Busy").u8(42, 17));
             c.full(pbxA, pbxB, 1, 2, Iax, Ack);
         },
         "Rejected by - cause 'Busy'"},
        {"an unanswered NEW sent three times",
         [](Conversation& c) {
             c.full(pbxA, pbxB, 1, 0, Iax, New);
             c.full(pbxA, pbxB, 1, 0, Iax, New, {}, true);
             c.full(pbxA, pbxB, 1, 0, Iax, New, {}, true);
         },
         "Calling by - cause ''"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Conversation conversation;
        c.play(conversation);
        ASSERT_EQ(conversation.tracker.calls().size(), 1u);
        EXPECT_EQ(summary(conversation.tracker.calls()[0]), c.expected);
    }
}

TEST(CallTracker, NumbersCodecRetransmissionsAndFrames) {
    Conversation c;
    setUp(c);
    c.full(pbxA, pbxB, 1, 2, Iax, Hangup, {}, false);
    c.full(pbxA, pbxB, 1, 2, Iax, Hangup, {}, true);
    const auto& call = c.tracker.calls().at(0);
    EXPECT_EQ(call.caller.text(), "10.0.0.1:4569");
    EXPECT_EQ(call.callee.text(), "10.0.0.2:4569");
    EXPECT_EQ(call.callerCall, 1);
    EXPECT_EQ(call.calleeCall, std::optional<std::uint16_t>(2));
    EXPECT_EQ(call.to, "100");
    EXPECT_EQ(call.from, "200");
    EXPECT_EQ(call.fromName, "Alice");
    EXPECT_EQ(call.codecName(), "GSM Full Rate"); // accepted (2), not offered (4)
    EXPECT_EQ(call.frames, 9u);
    EXPECT_EQ(call.retransmissions, 1u);
    EXPECT_EQ(call.frameNumbers.front(), 1u);
    EXPECT_FALSE(call.startedBeforeCapture);
}

// The anchor matches calls by call number alone: two PBXes that both use
// call numbers 1 and 2 would merge. Here they stay two calls.
TEST(CallTracker, SimultaneousCallsWithTheSameNumbersOnDifferentSides) {
    Conversation c;
    c.full(pbxA, pbxB, 1, 0, Iax, New);
    c.full(pbxB, pbxA, 1, 0, Iax, New); // B calls A, also from call 1
    c.full(pbxB, pbxA, 2, 1, Iax, Accept);
    c.full(pbxA, pbxB, 2, 1, Iax, Accept);
    c.full(pbxB, pbxA, 2, 1, Control, Answer);
    c.full(pbxA, pbxB, 1, 2, Iax, Hangup); // A ends its own call
    ASSERT_EQ(c.tracker.calls().size(), 2u);
    EXPECT_EQ(c.tracker.calls()[0].caller.text(), "10.0.0.1:4569");
    EXPECT_EQ(summary(c.tracker.calls()[0]), "Completed by caller cause ''");
    EXPECT_EQ(c.tracker.calls()[1].caller.text(), "10.0.0.2:4569");
    EXPECT_EQ(summary(c.tracker.calls()[1]), "Calling by - cause ''");
}

TEST(CallTracker, AReusedCallNumberStartsANewCallAndAMissingNewStillShows) {
    Conversation c;
    setUp(c);
    c.full(pbxA, pbxB, 1, 2, Iax, Hangup);
    setUp(c); // the same call numbers again
    ASSERT_EQ(c.tracker.calls().size(), 2u);
    EXPECT_EQ(summary(c.tracker.calls()[1]), "Answered by - cause ''");

    Conversation late; // the capture starts during a call
    late.mini(pbxA, pbxB, 7);
    late.full(pbxB, pbxA, 8, 7, Voice, 0x02);
    late.full(pbxA, pbxB, 7, 8, Iax, Hangup);
    ASSERT_EQ(late.tracker.calls().size(), 1u);
    const auto& call = late.tracker.calls()[0];
    EXPECT_TRUE(call.startedBeforeCapture);
    EXPECT_EQ(call.frames, 3u);
    EXPECT_EQ(summary(call), "Completed by caller cause ''");
}

TEST(CallTracker, TrunkedVoiceJoinsEachEntrysCall) {
    Conversation c;
    setUp(c, 5, 6);
    // One trunk frame from A carrying voice of call 5 (and of a call not seen).
    c.send(pbxA, pbxB,
           iaxgen::Bytes{0x00, 0x00, 0x01, 0x00, 0, 0, 0, 1, 0x00, 0x05, 0x00, 0x02, 'a', 'b', 0x00,
                         0x09, 0x00, 0x01, 'c'});
    ASSERT_EQ(c.tracker.calls().size(), 2u);
    EXPECT_EQ(c.tracker.calls()[0].frames, 8u);
    EXPECT_TRUE(c.tracker.calls()[1].startedBeforeCapture);
}

TEST(CallTracker, RegistrationsAcceptedRefusedAndReleased) {
    Conversation c;
    c.full(pbxA, pbxB, 3, 0, Iax, RegReq, Elements().text(6, "alice"));
    c.full(pbxB, pbxA, 4, 3, Iax, RegAuth);
    c.full(pbxA, pbxB, 3, 4, Iax, RegReq, Elements().text(6, "alice"));
    c.full(pbxB, pbxA, 4, 3, Iax, RegAck, Elements().u16(19, 60));
    c.full(pbxA, pbxB, 9, 0, Iax, RegReq, Elements().text(6, "mallory"));
    c.full(pbxB, pbxA, 10, 9, Iax, RegRej, Elements().text(22, "No such user"));
    // An authenticated release: challenged, sent again, acknowledged.
    c.full(pbxA, pbxB, 11, 0, Iax, RegRel, Elements().text(6, "alice"));
    c.full(pbxB, pbxA, 12, 11, Iax, RegAuth);
    c.full(pbxA, pbxB, 11, 12, Iax, RegRel, Elements().text(6, "alice"));
    c.full(pbxB, pbxA, 12, 11, Iax, RegAck);
    // A release never answered, then a new registration from the same call number.
    c.full(pbxA, pbxB, 13, 0, Iax, RegRel);
    c.full(pbxA, pbxB, 13, 0, Iax, RegReq);
    EXPECT_TRUE(c.tracker.calls().empty());
    const auto& r = c.tracker.registrations();
    ASSERT_EQ(r.size(), 5u);
    EXPECT_EQ(r[0].username, "alice");
    EXPECT_EQ(r[0].result, "REGACK");
    EXPECT_EQ(r[0].refresh, std::optional<std::uint16_t>(60));
    EXPECT_EQ(r[0].attempts, 2u);
    EXPECT_EQ(r[1].result, "REGREJ");
    EXPECT_EQ(r[1].cause, "No such user");
    EXPECT_EQ(r[2].request, "REGREL");
    EXPECT_EQ(r[2].result, "REGACK");
    EXPECT_EQ(r[2].attempts, 2u);
    EXPECT_EQ(r[3].request, "REGREL");
    EXPECT_EQ(r[3].result, "");
    EXPECT_EQ(r[4].request, "REGREQ");
    EXPECT_EQ(r[4].attempts, 1u);
    EXPECT_EQ(r[0].peer.text(), "10.0.0.1:4569");
    EXPECT_EQ(r[0].registrar.text(), "10.0.0.2:4569");
}

// The ladder of two calls: a column per end, the steps of both in order.
TEST(CallFlow, SeveralCallsShareTheirColumns) {
    const Endpoint pbxC{{10, 0, 0, 3}, 4569};
    Conversation c;
    c.full(pbxA, pbxB, 1, 0, Iax, New);
    c.full(pbxA, pbxC, 5, 0, Iax, New);
    c.full(pbxC, pbxA, 6, 5, Iax, Accept);
    c.full(pbxB, pbxA, 2, 1, Iax, Accept);
    c.mini(pbxA, pbxB, 1);
    c.mini(pbxA, pbxB, 1);
    const auto& calls = c.tracker.calls();
    ASSERT_EQ(calls.size(), 2u);
    const auto flow = calls::callsFlow({&calls[0], &calls[1]}, c.frames);
    ASSERT_EQ(flow.columns.size(), 3u);
    EXPECT_EQ(flow.columns[2].text(), "10.0.0.3:4569");
    std::vector<std::string> steps;
    for (const auto& step : flow.steps) {
        steps.push_back(std::to_string(step.call) + ": " + std::to_string(step.from) + ">" +
                        std::to_string(step.to) + " " + step.label);
    }
    // Each step names its call, so that a ladder of several tells them apart.
    EXPECT_EQ(steps, (std::vector<std::string>{"0: 0>1 NEW", "1: 0>2 NEW", "1: 2>0 ACCEPT",
                                               "0: 1>0 ACCEPT", "0: 0>1 voice x2"}));
}

// Each direction's voice is one band where it began, counting every voice
// frame the tracker joined (full, mini and each trunk entry), and the
// signalling keeps its place around the bands.
TEST(CallFlow, EachDirectionsVoiceIsOneBandWhereItBegan) {
    Conversation c;
    setUp(c, 5, 6);                        // frames 1-5 signalling, 6 and 7 voice
    c.full(pbxA, pbxB, 5, 6, Voice, 0x04); // 8
    c.full(pbxB, pbxA, 6, 5, Iax, Hangup); // 9
    c.send(pbxA, pbxB,
           iaxgen::Bytes{0x00, 0x00, 0x01, 0x00, 0, 0, 0, 1, 0x00, 0x05, 0x00, 0x02, 'a', 'b', 0x00,
                         0x05, 0x00, 0x01, 'c'}); // 10: two entries
    std::vector<std::string> steps;
    for (const auto& step : calls::callFlow(c.tracker.calls()[0], c.frames)) {
        steps.push_back(
            std::to_string(step.frameNumber) + (step.toCallee ? ">" : "<") +
            (step.voiceBand ? " x" + std::to_string(step.voiceFrames) : " " + step.label));
    }
    EXPECT_EQ(steps, (std::vector<std::string>{"1> NEW", "2< ACCEPT", "3> ACK", "4< RINGING",
                                               "5< ANSWER", "6> x4", "7< x1", "9< HANGUP"}));
}

// A call's ladder made a part at a time is the ladder made at once: its
// voice bands keep their places between the parts.
TEST(CallFlow, APartAtATimeMakesTheSameLadder) {
    Conversation c;
    setUp(c, 5, 6);                        // frames 1-5 signalling, 6 and 7 voice
    c.full(pbxA, pbxB, 5, 6, Voice, 0x04); // 8
    c.full(pbxB, pbxA, 6, 5, Iax, Hangup); // 9
    c.full(pbxA, pbxB, 5, 6, Iax, Ack);    // 10
    const auto& call = c.tracker.calls()[0];
    const auto whole = calls::callFlow(call, c.frames);
    const auto text = [](const std::vector<calls::FlowStep>& steps) {
        std::vector<std::string> lines;
        for (const auto& step : steps) {
            lines.push_back(std::to_string(step.frameNumber) + " " + step.label);
        }
        return lines;
    };
    for (const std::size_t part : {1, 2, 3, 5, 100}) {
        std::vector<calls::FlowStep> steps;
        std::size_t next = 0;
        do {
            next = calls::appendCallFlow(call, c.frames, next, part, steps);
        } while (next < call.signallingFrames.size());
        EXPECT_EQ(text(steps), text(whole)) << "parts of " << part;
    }
}
