#include "capture/FrameDelivery.h"
#include "capture/KvPCAPCapture.h"

#include "tests/support/CaptureFakes.h"
#include "tests/support/RecordingLogSink.h"

#include <gtest/gtest.h>

#include <functional>
#include <mutex>
#include <sstream>
#include <thread>

namespace {

using namespace std::chrono_literals;

class Delivery : public ::testing::Test {
protected:
    Delivery() {
        services.handoff = &handoff;
        services.alert = &alert;
        services.unknownElementDump = &dump;
        services.clock = [this] { return now; };
    }

    static std::shared_ptr<KvIAXFrame> frameOfType(const char* type) {
        auto frame = std::make_shared<KvIAXFrame>();
        PropertyMap map;
        map.set(PropertyKey::type, PropertyValue::literal(type));
        frame->setProperties(std::move(map));
        return frame;
    }

    RecordingLogSink log;
    InlineHandoff handoff;
    RecordingAlert alert;
    std::ostringstream dump;
    KvPCAPCapture::Clock::time_point now{1000s};
    CaptureServices services;
    std::shared_ptr<FakeCaptureTarget> capture = std::make_shared<FakeCaptureTarget>();
};

} // namespace

TEST_F(Delivery, LiveRunDeliversOnlyWhenMoreThanASecondHasPassed) {
    KvPCAPCapture worker(services);
    worker.beginRun(capture);
    for (int i = 0; i < 50; ++i) {
        now += 19ms; // 50 packets within the first 950 ms
        worker.applyLivePolicy(frameOfType("Mini Frame"));
    }
    now += 50ms; // exactly one second after the start: not yet due
    worker.applyLivePolicy(frameOfType("Mini Frame"));
    EXPECT_EQ(handoff.waits, 0);
    EXPECT_EQ(worker.iaxFrameBuffer().size(), 51u);

    now += 1ms; // the first packet more than a second after the start
    worker.applyLivePolicy(frameOfType("Voice Data"));
    EXPECT_EQ(handoff.waits, 1);
    EXPECT_EQ(capture->deliveredSizes, std::vector<std::size_t>{52});
    EXPECT_EQ(capture->frames.back()->properties().text(PropertyKey::type), "Voice Data");
    EXPECT_TRUE(worker.iaxFrameBuffer().empty());

    // The clock was reset by that delivery: the next one is a second later.
    now += 900ms;
    worker.applyLivePolicy(frameOfType("Mini Frame"));
    EXPECT_EQ(handoff.waits, 1);
    now += 200ms;
    worker.applyLivePolicy(frameOfType("Mini Frame"));
    EXPECT_EQ(capture->deliveredSizes, (std::vector<std::size_t>{52, 54}));
}

TEST_F(Delivery, FileRunHandsOverBlocksInOrderAndLosesNothingAtTheEnd) {
    KvPCAPCapture worker(services);
    worker.beginRun(capture);
    FrameList sent;
    auto send = [&](const char* type) {
        sent.push_back(frameOfType(type));
        worker.applyFilePolicy(sent.back());
    };
    for (const char* type : {"IAX Control", "Mini Frame", "Voice Data"}) {
        now += 1ms;
        send(type);
    }
    EXPECT_TRUE(capture->deliveredSizes.empty()); // a block is neither full nor old yet
    EXPECT_EQ(log.linesWithout({"In KvIaxFrame init"}),
              (std::vector<std::string>{"Adding frame to buffer with type: IAX Control",
                                        "Adding frame to buffer with type: Mini Frame",
                                        "Adding frame to buffer with type: Voice Data"}));

    // A full block goes at once; an old one with the next frame.
    while (sent.size() < FrameDelivery::fileBlockFrames) {
        send("Mini Frame");
    }
    now += FrameDelivery::fileBlockInterval;
    send("Mini Frame");
    // A frame that comes when the delivery clock is due resets it instead of logging.
    log.clear();
    now += 2s;
    send("Control");
    send("Voice Data");
    EXPECT_EQ(log.linesWithout({"In KvIaxFrame init"}),
              std::vector<std::string>{"Adding frame to buffer with type: Voice Data"});
    worker.deliverRest();
    worker.deliverRest(); // nothing left: no empty delivery

    const std::size_t block = FrameDelivery::fileBlockFrames;
    EXPECT_EQ(capture->deliveredSizes,
              (std::vector<std::size_t>{block, block + 1, block + 2, block + 3}));
    EXPECT_EQ(capture->frames, sent);
    EXPECT_TRUE(worker.iaxFrameBuffer().empty());
}

TEST_F(Delivery, ErrorReportMarksTheCaptureAndShowsTheTextUnchanged) {
    KvPCAPCapture worker(services);
    worker.beginRun(capture);
    worker.setErrorOnCapture(*capture, "100% of %s%n failed");
    EXPECT_EQ(capture->propertyWrites, (std::vector<std::string>{"status=Error", "button=Start"}));
    EXPECT_EQ(alert.messages, std::vector<std::string>{"100% of %s%n failed"});
    EXPECT_TRUE(capture->isInProgress()); // the report changes no flag
}

TEST_F(Delivery, EndingARunHandsTheCaptureBackToTheMainThread) {
    KvPCAPCapture worker(services);
    worker.beginRun(capture);
    EXPECT_EQ(capture.use_count(), 2);
    worker.endRun();
    EXPECT_EQ(handoff.posts, 1);
    EXPECT_EQ(capture->runsEnded, 1);
    EXPECT_EQ(capture.use_count(), 1);
    EXPECT_EQ(worker.captureReference(), nullptr);
}

namespace {

// Holds what is posted until the test runs or drops it, as a busy main
// thread would; a task waited for runs at once on the waiting thread.
class HeldHandoff final : public MainThreadHandoff {
public:
    void runAndWait(const std::function<void()>& task) override {
        runHeld();
        task();
    }
    void post(std::function<void()> task) override {
        const std::lock_guard lock(mutex_);
        held_.push_back(std::move(task));
    }
    [[nodiscard]] bool isMainThread() const override { return false; }

    std::size_t heldCount() {
        const std::lock_guard lock(mutex_);
        return held_.size();
    }
    void runHeld() { takeHeld(true); }
    void dropHeld() { takeHeld(false); }

private:
    void takeHeld(bool run) {
        std::vector<std::function<void()>> tasks;
        {
            const std::lock_guard lock(mutex_);
            tasks.swap(held_);
        }
        for (auto& task : tasks) {
            if (run) {
                task();
            }
        }
    }
    std::mutex mutex_;
    std::vector<std::function<void()>> held_;
};

} // namespace

// A file load decodes its next block while the main thread appends and
// follows the last, but gets no further ahead than one block not appended
// and two not followed (so that, with the processor shared, what is decoded
// and not yet followed stays small); a block dropped unrun (the application
// quitting) does not leave it waiting.
TEST_F(Delivery, FileRunGoesOnWhileItsBlocksWaitButNoFurther) {
    static_assert(FrameDelivery::fileBlocksInFlight == 1 &&
                  FrameDelivery::fileBlocksUnfollowed == 2);
    HeldHandoff held;
    services.handoff = &held;
    for (const bool run : {true, false}) {
        SCOPED_TRACE(run ? "run" : "dropped");
        auto target = std::make_shared<FakeCaptureTarget>();
        target->followsWhenTold = true;
        KvPCAPCapture worker(services);
        worker.beginRun(target);
        auto sendBlock = [&] {
            for (std::size_t i = 0; i < FrameDelivery::fileBlockFrames; ++i) {
                worker.applyFilePolicy(frameOfType("Mini Frame"));
            }
        };
        // Sends a block on another thread, and lets go step by step of what
        // holds it: it must still wait after each step but the last.
        const auto waitsUntil = [&](const std::vector<std::function<void()>>& steps) {
            std::atomic<bool> sent{false};
            std::thread next([&] {
                sendBlock();
                sent = true;
            });
            for (std::size_t step = 0; step < steps.size(); ++step) {
                std::this_thread::sleep_for(50ms);
                EXPECT_FALSE(sent) << "went before step " << step;
                steps[step]();
            }
            next.join();
        };
        sendBlock(); // handed over without waiting
        EXPECT_EQ(held.heldCount(), 1u);
        if (run) {
            // Waits for the last block to land, not to be followed...
            waitsUntil({[&] { held.runHeld(); }});
            // ...but with two landed and not followed, for them to be.
            waitsUntil({[&] { held.runHeld(); }, [&] { target->follow(); }});
        } else {
            waitsUntil({[&] { held.dropHeld(); }});
        }
        // The end waits until everything handed over is in the capture.
        worker.applyFilePolicy(frameOfType("Voice Data"));
        worker.deliverRest();
        EXPECT_EQ(target->frames.size(), (run ? 3 : 1) * FrameDelivery::fileBlockFrames + 1);
        worker.endRun();
        held.runHeld();
        target->follow();
    }
}
