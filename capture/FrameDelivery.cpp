#include "capture/FrameDelivery.h"

#include "platform/CaptureAlert.h"
#include "capture/CaptureKeys.h"
#include "capture/MainThreadHandoff.h"
#include "common/Log.h"

#include <ctime>
#include <memory>
#include <iterator>

FrameDelivery::FrameDelivery(const CaptureServices& services) : services_(services) {}

FrameDelivery::Clock::time_point FrameDelivery::now() const {
    if (services_.clock) {
        return services_.clock();
    }
    // Read once a packet: the coarse clock (a few milliseconds' steps, the
    // steady clock's origin) costs a memory read where the fine one costs a
    // time-stamp counter read, and the intervals it times are 50 ms and more.
    timespec coarse{};
    if (clock_gettime(CLOCK_MONOTONIC_COARSE, &coarse) != 0) {
        return Clock::now();
    }
    return Clock::time_point(std::chrono::seconds(coarse.tv_sec) +
                             std::chrono::nanoseconds(coarse.tv_nsec));
}

void FrameDelivery::beginRun(std::shared_ptr<CaptureTarget> capture) {
    capture_ = std::move(capture);
    lastMainThreadUpdate_ = now();
    lastHandoff_ = lastMainThreadUpdate_;
    buffer_.clear();
}

void FrameDelivery::applyLivePolicy(std::shared_ptr<KvIAXFrame> frame) {
    const auto time = now();
    const bool due = time - lastMainThreadUpdate_ > deliveryThreshold;
    buffer_.push_back(std::move(frame));
    if (due) {
        lastMainThreadUpdate_ = time;
        deliver();
    }
}

void FrameDelivery::deliverIfDue() {
    const auto time = now();
    if (!buffer_.empty() && time - lastMainThreadUpdate_ > deliveryThreshold) {
        lastMainThreadUpdate_ = time;
        deliver();
    }
}

void FrameDelivery::applyFilePolicy(std::shared_ptr<KvIAXFrame> frame) {
    const auto time = now();
    if (time - lastMainThreadUpdate_ > deliveryThreshold) {
        lastMainThreadUpdate_ = time;
    } else if (kvlog::debugEnabled()) {
        kvlog::debug("Adding frame to buffer with type: ", frame->text(PropertyKey::type));
    }
    buffer_.push_back(std::move(frame));
    if (buffer_.size() >= fileBlockFrames || time - lastHandoff_ >= fileBlockInterval) {
        handOver();
    }
}

namespace {

// Counts a handed-over block out when what holds it lets go: its task, run
// or dropped unrun because the application is quitting; or its capture,
// once it followed it. Either way the worker must not wait for it.
class BlockLanded final {
public:
    explicit BlockLanded(std::shared_ptr<std::atomic<unsigned>> inFlight)
        : inFlight_(std::move(inFlight)) {}
    BlockLanded(const BlockLanded&) = delete;
    BlockLanded& operator=(const BlockLanded&) = delete;
    ~BlockLanded() {
        inFlight_->fetch_sub(1, std::memory_order_release);
        inFlight_->notify_one();
    }

private:
    std::shared_ptr<std::atomic<unsigned>> inFlight_;
};

} // namespace

void FrameDelivery::handOver() {
    std::atomic<unsigned>& inFlight = *blocksInFlight_;
    std::atomic<unsigned>& unfollowed = *blocksUnfollowed_;
    for (;;) {
        const unsigned landing = inFlight.load(std::memory_order_acquire);
        const unsigned following = unfollowed.load(std::memory_order_acquire);
        if (landing >= fileBlocksInFlight) {
            inFlight.wait(landing, std::memory_order_acquire);
        } else if (following >= fileBlocksUnfollowed) {
            unfollowed.wait(following, std::memory_order_acquire);
        } else {
            break;
        }
    }
    inFlight.fetch_add(1, std::memory_order_relaxed);
    unfollowed.fetch_add(1, std::memory_order_relaxed);
    // Shared, because a task must be copyable; no copy is made on its way.
    auto landed = std::make_shared<BlockLanded>(blocksInFlight_);
    auto followed = std::make_shared<BlockLanded>(blocksUnfollowed_);
    auto frames = std::make_shared<FrameList>(std::move(buffer_));
    buffer_.clear();
    services_.handoff->post([capture = capture_, frames, landed, followed]() mutable {
        capture->appendFrames(std::move(*frames));
        capture->holdUntilFollowed(std::move(followed));
    });
    lastHandoff_ = now();
}

void FrameDelivery::deliver() {
    services_.handoff->runAndWait([this] { updateIaxCapture(*capture_); });
    lastHandoff_ = now();
}

void FrameDelivery::deliverRest() {
    // Waiting for the last block also waits for those handed over before
    // it: the main thread runs them in order.
    if (!buffer_.empty()) {
        deliver();
    } else if (blocksInFlight_->load(std::memory_order_acquire) > 0) {
        services_.handoff->runAndWait([] {});
    }
}

void FrameDelivery::updateIaxCapture(CaptureTarget& capture) {
    // Moved, not copied: a copy would touch every frame's reference count
    // from both threads. The buffer is left empty.
    capture.appendFrames(std::move(buffer_));
    buffer_.clear();
}

void FrameDelivery::setErrorOnCapture(CaptureTarget& capture, std::string_view message) {
    services_.handoff->runAndWait([this, &capture, message] {
        capture.setPropertyText(capturekeys::status, capturekeys::statusError);
        capture.setPropertyText(capturekeys::button, capturekeys::buttonStart);
        services_.alert->showCaptureFailed(message);
    });
}

void FrameDelivery::showCaptureFile(const std::string& path) {
    services_.handoff->runAndWait(
        [this, &path] { capture_->setPropertyText(capturekeys::captureFile, path); });
}

void FrameDelivery::endRun(const RunSummary& summary) {
    if (!capture_) {
        return;
    }
    services_.handoff->post(
        [capture = std::move(capture_), summary] { capture->workerRunEnded(summary); });
    capture_.reset();
}
