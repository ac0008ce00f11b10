#include "capture/FrameDelivery.h"

#include "platform/CaptureAlert.h"
#include "capture/CaptureKeys.h"
#include "capture/MainThreadHandoff.h"
#include "common/Log.h"

#include <ctime>
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
        deliver();
    }
}

void FrameDelivery::deliver() {
    services_.handoff->runAndWait([this] { updateIaxCapture(*capture_); });
    lastHandoff_ = now();
}

void FrameDelivery::deliverRest() {
    if (!buffer_.empty()) {
        deliver();
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
