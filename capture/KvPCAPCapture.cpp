#include "capture/KvPCAPCapture.h"

#include "capture/CaptureAlert.h"
#include "capture/MainThreadHandoff.h"
#include "common/Log.h"

#include <iostream>

KvPCAPCapture::KvPCAPCapture(const CaptureServices& services)
    : services_(services),
      dissector_(services.unknownElementDump != nullptr ? *services.unknownElementDump
                                                        : std::cout) {}

KvPCAPCapture::Clock::time_point KvPCAPCapture::now() const {
    return services_.clock ? services_.clock() : Clock::now();
}

void KvPCAPCapture::beginRun(std::shared_ptr<CaptureTarget> capture) {
    captureReference_ = std::move(capture);
    lastMainThreadUpdate_ = now();
    iaxFrameBuffer_.clear();
}

void KvPCAPCapture::applyLivePolicy(std::shared_ptr<KvIAXFrame> frame) {
    const bool due = deliveryDue();
    iaxFrameBuffer_.push_back(std::move(frame));
    if (due) {
        lastMainThreadUpdate_ = now();
        deliver();
    }
}

void KvPCAPCapture::applyFilePolicy(std::shared_ptr<KvIAXFrame> frame) {
    if (deliveryDue()) {
        lastMainThreadUpdate_ = now();
    } else {
        kvlog::line("Adding frame to buffer with type: ",
                    frame->properties().text(PropertyKey::type));
    }
    iaxFrameBuffer_.push_back(std::move(frame));
    deliver();
}

void KvPCAPCapture::deliver() {
    services_.handoff->runAndWait([this] { updateIaxCapture(*captureReference_); });
    iaxFrameBuffer_.clear();
}

void KvPCAPCapture::updateIaxCapture(CaptureTarget& capture) {
    FrameList& frames = capture.iaxFrames();
    frames.insert(frames.end(), iaxFrameBuffer_.begin(), iaxFrameBuffer_.end());
    capture.setIaxFrames(frames);
}

void KvPCAPCapture::setErrorOnCapture(CaptureTarget& capture, std::string_view message) {
    services_.handoff->runAndWait([this, &capture, message] {
        capture.setPropertyText("status", "Error");
        capture.setPropertyText("button", "Start");
        services_.alert->showCaptureFailed(message);
    });
}

void KvPCAPCapture::endRun(const RunSummary& summary) {
    if (!captureReference_) {
        return;
    }
    services_.handoff->post(
        [capture = std::move(captureReference_), summary] { capture->workerRunEnded(summary); });
    captureReference_.reset();
}
