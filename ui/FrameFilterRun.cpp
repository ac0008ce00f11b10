#include "ui/FrameFilterRun.h"

#include "app/KvIAXCapture.h"

namespace {
// How long one slice may keep the main thread.
constexpr qint64 sliceMs = 15;
} // namespace

FrameFilterRun::FrameFilterRun(KvIAXCapture& capture, filter::DisplayFilter filter,
                               std::shared_ptr<const std::vector<std::uint32_t>> candidates,
                               QObject* parent)
    : QObject(parent), capture_(&capture), filter_(capture, std::move(filter)),
      candidates_(std::move(candidates)) {
    timer_.setSingleShot(true);
    timer_.setInterval(0);
    timer_.setObjectName("filter slices");
    connect(&timer_, &QTimer::timeout, this, &FrameFilterRun::slice);
    std::string error;
    if (!filter_.open(error)) {
        problem_ = QString::fromStdString(error);
    }
    if (!candidates_) {
        // Frames that arrive later are tested as they come, and so are
        // frames whose calls were only just found.
        connect(&capture, &KvIAXCapture::framesAppended, this, [this] {
            if (!timer_.isActive() && problem_.isEmpty()) {
                done_ = false;
                timer_.start();
            }
        });
        connect(&capture, &KvIAXCapture::callsChanged, this, [this] {
            if (!timer_.isActive() && problem_.isEmpty() && next_ < capture_->iaxFrames().size()) {
                done_ = false;
                timer_.start();
            }
        });
    }
}

void FrameFilterRun::start() {
    if (problem_.isEmpty()) {
        timer_.start();
    } else {
        done_ = true;
    }
}

std::size_t FrameFilterRun::total() const {
    return candidates_ ? candidates_->size() : capture_ ? capture_->iaxFrames().size() : 0;
}

std::size_t FrameFilterRun::available() const {
    if (capture_ == nullptr) {
        return next_;
    }
    // A filter on calls waits for the calls to have taken the frames in.
    return candidates_ ? candidates_->size() : filter_.readyFrames();
}

void FrameFilterRun::slice() {
    if (capture_ == nullptr) {
        done_ = true;
        return;
    }
    const FrameList& frames = capture_->iaxFrames();
    if (frames.empty()) {
        done_ = true;
        emit progressed();
        return;
    }
    filter_.refresh();
    QElapsedTimer clock;
    clock.start();
    std::vector<std::uint32_t> matches;
    const std::size_t end = available();
    while (next_ < end) {
        const std::uint32_t number =
            candidates_ ? (*candidates_)[next_] : static_cast<std::uint32_t>(next_ + 1);
        ++next_;
        std::string why;
        const auto verdict = filter_.test(number, why);
        if (verdict == filter::Verdict::Failed) {
            // The frames after it cannot be told apart either: the run ends
            // with what it found, saying why.
            problem_ = QString::fromStdString(why);
            break;
        }
        if (verdict == filter::Verdict::Match) {
            matches.push_back(number);
        }
        // A regular expression may take up to a millisecond a frame.
        if ((next_ & 15) == 0 && clock.elapsed() >= sliceMs) {
            break;
        }
    }
    if (!matches.empty()) {
        emit matched(matches);
    }
    done_ = next_ >= end || !problem_.isEmpty();
    if (!done_) {
        timer_.start();
    }
    emit progressed();
}
