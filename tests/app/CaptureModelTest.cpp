#include "app/KvIAXCapture.h"

#include "app/ListeningJob.h"
#include "record/IaxNumbers.h"
#include "tests/support/CaptureFakes.h"
#include "tests/support/Conversation.h"
#include "tests/support/RecordingLogSink.h"

#include <QCoreApplication>
#include <QSignalSpy>

#include <atomic>
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

namespace {

class CaptureModel : public ::testing::Test {
protected:
    CaptureModel() { services.handoff = &handoff; }
    RecordingLogSink log;
    InlineHandoff handoff;
    CaptureServices services;
};

} // namespace

TEST_F(CaptureModel, NewCaptureDefaults) {
    auto capture = KvIAXCapture::create(services);
    EXPECT_EQ(log.lines(), std::vector<std::string>{"In KvIAXCapture init"});
    const QVariantMap& p = capture->properties();
    EXPECT_EQ(p.value("button").toString(), "Start");
    EXPECT_EQ(p.value("status").toString(), "Idle");
    EXPECT_EQ(p.value("filter").toString(), "port 4569");
    EXPECT_EQ(p.value("title").toString(),
              QString::asprintf("N %p", static_cast<void*>(capture.get())));
    EXPECT_EQ(p.value("reference").value<QObject*>(), capture.get());
    EXPECT_EQ(capture.use_count(), 1); // the map does not hold the capture
    EXPECT_TRUE(capture->iaxFrames().empty());
    EXPECT_FALSE(capture->isInProgress());
    EXPECT_FALSE(capture->hasCapturedFrames());
    EXPECT_TRUE(capture->description().startsWith("<KvIAXCapture: 0x"));
}

TEST_F(CaptureModel, StopSetsHasCapturedFramesOnlyWithFrames) {
    auto capture = KvIAXCapture::create(services);
    QSignalSpy progress(capture.get(), &KvIAXCapture::isInProgressChanged);
    QSignalSpy captured(capture.get(), &KvIAXCapture::hasCapturedFramesChanged);
    capture->setIsInProgress(true);
    capture->stopCapture();
    EXPECT_FALSE(capture->isInProgress());
    EXPECT_FALSE(capture->hasCapturedFrames());
    EXPECT_EQ(progress.count(), 2);
    EXPECT_EQ(captured.count(), 0);

    capture->iaxFrames().push_back(std::make_shared<KvIAXFrame>());
    capture->stopCapture();
    EXPECT_TRUE(capture->hasCapturedFrames());
    EXPECT_EQ(captured.count(), 1);
}

TEST_F(CaptureModel, PassingItsOwnListAnnouncesTheAppendedRowsOnce) {
    auto capture = KvIAXCapture::create(services);
    QSignalSpy appended(capture.get(), &KvIAXCapture::framesAppended);
    QSignalSpy reset(capture.get(), &KvIAXCapture::framesReset);

    FrameList& own = capture->iaxFrames();
    own.push_back(std::make_shared<KvIAXFrame>());
    own.push_back(std::make_shared<KvIAXFrame>());
    capture->setIaxFrames(own);
    ASSERT_EQ(appended.count(), 1);
    EXPECT_EQ(appended[0][0].value<qsizetype>(), 0);
    EXPECT_EQ(appended[0][1].value<qsizetype>(), 2);

    own.push_back(std::make_shared<KvIAXFrame>());
    capture->setIaxFrames(own);
    EXPECT_EQ(appended[1][0].value<qsizetype>(), 2);
    EXPECT_EQ(appended[1][1].value<qsizetype>(), 1);

    // Unchanged list: still one announcement, of nothing new.
    capture->setIaxFrames(own);
    EXPECT_EQ(appended.count(), 3);
    EXPECT_EQ(capture->iaxFrames().size(), 3u);

    // Another list is copied and announced as a replacement.
    FrameList other{std::make_shared<KvIAXFrame>()};
    capture->setIaxFrames(other);
    other.clear();
    EXPECT_EQ(reset.count(), 1);
    EXPECT_EQ(capture->iaxFrames().size(), 1u);
}

TEST_F(CaptureModel, KeySettersNotifyAndNoValueRemoves) {
    auto capture = KvIAXCapture::create(services);
    QSignalSpy changed(capture.get(), &KvIAXCapture::propertyChanged);
    capture->setValueForKey("status", QStringLiteral("Capturing"));
    capture->setValueForKey("filter", QVariant());
    EXPECT_EQ(capture->valueForKey("status").toString(), "Capturing");
    EXPECT_FALSE(capture->properties().contains("filter"));
    ASSERT_EQ(changed.count(), 2);
    EXPECT_EQ(changed[1][0].toString(), "filter");

    QVariantMap map = capture->properties();
    capture->setProperties(map);
    map.insert("status", QStringLiteral("changed later"));
    EXPECT_EQ(capture->valueForKey("status").toString(), "Capturing");
}

TEST_F(CaptureModel, DestructionLogsAndStopsACaptureStillInProgress) {
    auto capture = KvIAXCapture::create(services);
    capture->setIsInProgress(true);
    bool stoppedBeforeGone = false;
    QObject::connect(capture.get(), &KvIAXCapture::isInProgressChanged,
                     [&](bool inProgress) { stoppedBeforeGone = !inProgress; });
    log.clear();
    capture.reset();
    EXPECT_EQ(log.lines(), std::vector<std::string>{"In IAXCapture dealloc"});
    EXPECT_TRUE(stoppedBeforeGone);
}

// A reader that prints as it goes lets records go, but never one the calls
// have not taken in yet; positions stay.
TEST_F(CaptureModel, ReleasedFramesAreOnlyThoseTheCallsHaveTakenIn) {
    auto capture = KvIAXCapture::create(services);
    FrameList block{std::make_shared<KvIAXFrame>(), std::make_shared<KvIAXFrame>(),
                    std::make_shared<KvIAXFrame>()};
    QSignalSpy appended(capture.get(), &KvIAXCapture::framesAppended);
    capture->appendFrames(std::move(block));
    ASSERT_EQ(appended.count(), 1);
    EXPECT_EQ(appended.at(0).at(0).toLongLong(), 0);
    EXPECT_EQ(appended.at(0).at(1).toLongLong(), 3);
    capture->releaseFramesBefore(3);
    EXPECT_EQ(capture->iaxFrames().released(), 0u); // not followed yet
    QCoreApplication::processEvents();              // the calls follow them
    ASSERT_EQ(capture->trackedFrameCount(), 3u);
    capture->releaseFramesBefore(3);
    EXPECT_EQ(capture->iaxFrames().released(), 2u); // the last one stays
    EXPECT_EQ(capture->iaxFrames().size(), 3u);
    capture->appendFrames(FrameList{std::make_shared<KvIAXFrame>()});
    EXPECT_EQ(appended.last().at(0).toLongLong(), 3);
    EXPECT_NE(capture->iaxFrames()[3], nullptr);
}

// A reader on another thread holds the trackers: what would change them
// waits until it lets go.
TEST_F(CaptureModel, ChangesToTheTrackersWaitForAReaderThatHoldsThem) {
    auto capture = KvIAXCapture::create(services);
    capture->setFollowsQuality(quality::QualityOptions{});
    std::atomic<bool> readerDone{false};
    std::thread reader([held = capture->holdTrackers(), &readerDone, &capture]() mutable {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        MemoryCharge charge;
        EXPECT_TRUE(capture->problemsOf({}, charge)->empty());
        readerDone = true;
        held.reset();
    });
    capture->setFollowsQuality(quality::QualityOptions{.jitterBufferMs = 100});
    EXPECT_TRUE(readerDone); // it waited for the reader
    reader.join();
}

// A call's digits are those signalled; the digits heard in its voice are
// its digits only where none were signalled.
TEST_F(CaptureModel, DigitsHeardInBandStandInOnlyForDigitsNotSignalled) {
    const iaxgen::Endpoint a{{10, 0, 0, 1}, 4569};
    const iaxgen::Endpoint b{{10, 0, 0, 2}, 4569};
    Conversation c;
    for (const std::uint16_t call : {1, 3}) {
        c.full(a, b, call, 0, iax::IaxControl, iax::New, iaxgen::Elements().u32(9, iax::Ulaw));
        c.full(b, a, static_cast<std::uint16_t>(call + 1), call, iax::IaxControl, iax::Accept);
    }
    c.full(a, b, 1, 2, 1, '1'); // call 1 signals a digit; call 2 none
    auto capture = KvIAXCapture::create(services);
    capture->setFollowsQuality(quality::QualityOptions{});
    capture->appendFrames(FrameList(c.frames));
    QCoreApplication::processEvents();
    ASSERT_EQ(capture->callTracker().calls().size(), 2u);
    CallListening heard;
    heard.sides[0].emplace();
    calls::DtmfEvent tone;
    tone.digit = '9';
    tone.source = calls::DtmfEvent::Source::InBand;
    heard.sides[0]->tones.push_back(tone);
    capture->addListening({0, 1}, {heard, heard});
    EXPECT_EQ(capture->callVerdict(0).quality.dtmf, "1");
    EXPECT_EQ(capture->callVerdict(1).quality.dtmf, "9");
}
