#include "app/CallSelection.h"
#include "app/ChargedStreams.h"
#include "capturefile/CaptureFileWriter.h"
#include "samples/QualityCalls.h"
#include "tests/support/LoadHarness.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <optional>
#include <thread>

namespace {

// The generated calls made to be judged, loaded and judged as the window does.
struct JudgedCalls {
    JudgedCalls() {
        const QString path = folder.filePath("quality.pcap");
        {
            CaptureFileWriter writer(path.toStdString());
            scenarios::qualityCalls(
                [&](const iaxgen::Bytes& packet, std::int64_t us) { writer.write(packet, us); });
        }
        capture = harness.load(path);
        capture->setFollowsQuality(quality::QualityOptions{});
    }
    QTemporaryDir folder;
    LoadHarness harness;
    std::shared_ptr<KvIAXCapture> capture;
};

TEST(CallSelection, FramesFiguresTitlesAndTheLadderOfASelection) {
    JudgedCalls judged;
    const KvIAXCapture& capture = *judged.capture;
    const auto& calls = capture.callTracker().calls();
    ASSERT_EQ(calls.size(), 4u);

    // Frames of calls 2 and 4, rising and each once; an unknown index adds none.
    const auto frames = callselection::framesOf(calls, {1, 3, 99});
    EXPECT_EQ(frames.size(), calls[1].frameNumbers.size() + calls[3].frameNumbers.size());
    EXPECT_TRUE(std::is_sorted(frames.begin(), frames.end()));
    EXPECT_EQ(frames.front(), calls[1].frameNumbers.front());

    // The figures are the capture's own, call by call, with what listening found.
    CallListening heard;
    heard.sides[1] = media::StreamListening{.blocks = 300, .activeBlocks = 0, .tones = {}};
    calls::DtmfEvent tone;
    tone.call = 0;
    tone.digit = '7';
    tone.source = calls::DtmfEvent::Source::InBand;
    tone.kind = calls::DtmfEvent::Kind::Tone;
    tone.frame = calls[0].frameNumbers[20];
    tone.captured = calls[0].start;
    heard.sides[0] = media::StreamListening{.blocks = 300, .activeBlocks = 300, .tones = {tone}};
    judged.capture->addListening({0}, {heard});
    const auto figures = callselection::figuresOf(capture, {0, 3});
    ASSERT_EQ(figures.size(), 4u);
    const auto all = capture.streamFigures();
    for (const std::size_t i : {0u, 1u}) {
        EXPECT_EQ(figures[i].packets, all[i].packets);
        EXPECT_EQ(figures[i].mos, all[i].mos);
    }
    EXPECT_EQ(figures[0].activity, 1.0);
    EXPECT_EQ(figures[1].activity, 0.0);
    EXPECT_EQ(figures[2].call, 3u);
    EXPECT_FALSE(figures[2].activity);

    // The ladder marks the digit heard in band at its frame.
    const auto ladder = callselection::ladderOf(capture, {0});
    ASSERT_EQ(ladder.columns.size(), 2u);
    const auto mark = std::find_if(ladder.steps.begin(), ladder.steps.end(),
                                   [](const auto& step) { return step.mark; });
    ASSERT_NE(mark, ladder.steps.end());
    EXPECT_EQ(mark->label, "DTMF 7 (in band)");
    EXPECT_EQ(mark->frameNumber, tone.frame);
    EXPECT_TRUE(
        std::is_sorted(ladder.steps.begin(), ladder.steps.end(),
                       [](const auto& a, const auto& b) { return a.frameNumber < b.frameNumber; }));

    // Made a call at a time, the ladder of all four (and of an unknown call,
    // left out) is the one made at once, to the step.
    const std::vector<std::size_t> four{3, 0, 99, 2, 1};
    const auto atOnce = callselection::ladderOf(capture, four);
    callselection::LadderInSteps inSteps(capture, four);
    int steps = 1;
    for (; !inSteps.step(capture, std::chrono::steady_clock::now()); ++steps) {
    }
    EXPECT_EQ(steps, 4);
    const auto stepped = inSteps.finish(capture);
    EXPECT_EQ(stepped.columns, atOnce.columns);
    ASSERT_EQ(stepped.steps.size(), atOnce.steps.size());
    EXPECT_GT(atOnce.steps.size(), ladder.steps.size());
    for (std::size_t i = 0; i < atOnce.steps.size(); ++i) {
        const auto& a = stepped.steps[i];
        const auto& b = atOnce.steps[i];
        EXPECT_EQ(std::tie(a.frameNumber, a.label, a.from, a.to, a.call, a.mark, a.seconds),
                  std::tie(b.frameNumber, b.label, b.from, b.to, b.call, b.mark, b.seconds))
            << i;
    }

    // Titles name the numbers dialled, or the ends where the NEW gave none.
    EXPECT_EQ(callselection::titleOf(calls[0], 0), "Call 1: 100 to 200");
    EXPECT_EQ(callselection::titleOf(calls[2], 2), "Call 3: 203.0.113.1:4569 to 202");
}

} // namespace

namespace {

// Streams not listened to yet, finished by a worker that holds the trackers.
ChargedStreams finishedElsewhere(StreamsInSlices& slices, const KvIAXCapture& capture) {
    std::optional<ChargedStreams> made;
    std::thread worker(
        [&made, &slices, held = capture.holdTrackers()] { made = slices.finishUnheard(); });
    worker.join();
    return std::move(*made);
}

// Streams made a slice at a time are those made at once, whatever the
// slice, and wherever they are finished; a list replaced meanwhile stops
// the making.
TEST(CallSelection, StreamsMadeInSlicesAreThoseMadeAtOnce) {
    JudgedCalls judged;
    const KvIAXCapture& capture = *judged.capture;
    const std::vector<std::size_t> calls = {0, 1, 2, 3};
    std::string error;
    const auto atOnce = ChargedStreams::of(capture, calls, error);
    ASSERT_TRUE(atOnce) << error;
    for (const std::size_t slice : {std::size_t{1}, std::size_t{7}, std::size_t{1000}}) {
        SCOPED_TRACE(slice);
        auto slices = StreamsInSlices::start(capture, calls, error);
        ASSERT_TRUE(slices) << error;
        int steps = 0;
        while (!slices->done()) {
            ASSERT_TRUE(slices->step(capture, slice));
            ++steps;
        }
        EXPECT_GT(steps, slice == 1000 ? 0 : 1);
        const ChargedStreams made =
            slice == 7 ? finishedElsewhere(*slices, capture) : slices->finish(capture);
        ASSERT_EQ(made.streams.size(), atOnce->streams.size());
        for (std::size_t s = 0; s < made.streams.size(); ++s) {
            EXPECT_EQ(made.streams[s].figures.call, atOnce->streams[s].figures.call);
            EXPECT_EQ(made.streams[s].figures.mos, atOnce->streams[s].figures.mos);
            ASSERT_EQ(made.streams[s].packets.size(), atOnce->streams[s].packets.size());
            for (std::size_t p = 0; p < made.streams[s].packets.size(); ++p) {
                EXPECT_EQ(made.streams[s].packets[p].frameNumber,
                          atOnce->streams[s].packets[p].frameNumber);
            }
        }
    }
    auto replaced = StreamsInSlices::start(capture, calls, error);
    ASSERT_TRUE(replaced);
    judged.capture->setIaxFrames(FrameList{});
    EXPECT_FALSE(replaced->step(capture, 10));
}

} // namespace
