#include "ui/FramesInSlices.h"

#include "app/KvIAXCapture.h"

#include <chrono>

namespace {

constexpr auto sliceTime = std::chrono::milliseconds(15);

} // namespace

FramesInSlices* FramesInSlices::start(QObject* parent, const KvIAXCapture& capture,
                                      FrameNumbers only, Visit visit, Done done) {
    auto* run =
        new FramesInSlices(parent, capture, std::move(only), std::move(visit), std::move(done));
    run->slices_.start();
    return run;
}

FramesInSlices::FramesInSlices(QObject* parent, const KvIAXCapture& capture, FrameNumbers only,
                               Visit visit, Done done)
    : QObject(parent), capture_(&capture), firstFrame_(capture.firstFrame()),
      only_(std::move(only)), total_(only_ == nullptr ? capture.iaxFrames().size() : only_->size()),
      visit_(std::move(visit)), done_(std::move(done)) {
    slices_.setInterval(0);
    slices_.setObjectName("statistics slices");
    connect(&slices_, &QTimer::timeout, this, &FramesInSlices::slice);
}

void FramesInSlices::slice() {
    if (capture_ == nullptr || capture_->firstFrame() != firstFrame_) {
        slices_.stop();
        deleteLater();
        return;
    }
    const FrameList& list = capture_->iaxFrames();
    const auto deadline = std::chrono::steady_clock::now() + sliceTime;
    for (; next_ < total_; ++next_) {
        if ((next_ & 1023) == 0 && std::chrono::steady_clock::now() > deadline) {
            return;
        }
        const std::size_t index = only_ == nullptr ? next_ : std::size_t{(*only_)[next_]} - 1;
        if (index < list.size() && list[index] != nullptr) {
            visit_(*list[index]);
        }
    }
    slices_.stop();
    done_(*capture_);
    deleteLater();
}
