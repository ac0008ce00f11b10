#include "ui/ListeningRun.h"

#include "app/KvIAXCapture.h"

#include <QtConcurrent/QtConcurrentRun>

#include <chrono>

namespace {

// About a second of work a block on this machine, and some tens of
// megabytes of streams and payloads.
constexpr std::size_t packetsAtOnce = 100'000;
// A block's streams take in frames for about this long between turns of the
// event loop.
constexpr auto sliceTime = std::chrono::milliseconds(8);

} // namespace

ListeningRun::ListeningRun(QObject* parent) : QObject(parent) {
    connect(&watcher_, &QFutureWatcher<Result>::finished, this, &ListeningRun::blockDone);
    slices_.setInterval(0);
    slices_.setObjectName("listening slices");
    connect(&slices_, &QTimer::timeout, this, &ListeningRun::makeStreams);
}

ListeningRun::~ListeningRun() {
    cancel();
    watcher_.waitForFinished();
}

void ListeningRun::cancel() {
    if (cancelled_) {
        cancelled_->store(true);
    }
    capture_ = nullptr;
    running_ = false;
    slices_.stop();
    chosen_.reset();
    streams_.reset();
}

void ListeningRun::listen(KvIAXCapture* capture) {
    if (running_ && capture == capture_) {
        return; // already at it: the new calls are taken in turn
    }
    cancel();
    if (capture == nullptr || capture->isLiveRunning()) {
        return; // its calls are still going on: listened to when the run ends
    }
    capture_ = capture;
    cancelled_ = std::make_shared<std::atomic<bool>>(false);
    running_ = true;
    done_ = capture->listenedCalls();
    total_ = capture->callTracker().calls().size();
    nextBlock();
}

void ListeningRun::nextBlock() {
    if (capture_ == nullptr || watcher_.isRunning() || slices_.isActive()) {
        return;
    }
    const std::size_t first = capture_->listenedCalls();
    total_ = capture_->callTracker().calls().size();
    if (first >= total_) {
        running_ = false;
        emit progressed();
        return;
    }
    std::string error;
    chosen_ = ListeningJob::choose(*capture_, first, packetsAtOnce, next_, error);
    if (chosen_) {
        streams_ = StreamsInSlices::start(*capture_, chosen_->calls, error);
    }
    if (!chosen_ || !streams_) {
        chosen_.reset();
        running_ = false;
        capture_->setListenedCalls(total_); // what cannot be read now will not be later
        emit failed(QString::fromStdString(error));
        emit progressed();
        return;
    }
    slices_.start();
}

void ListeningRun::makeStreams() {
    if (capture_ == nullptr || !chosen_ || !streams_) {
        slices_.stop();
        return;
    }
    if (!streams_->stepUntil(*capture_, std::chrono::steady_clock::now() + sliceTime)) {
        // The list was replaced: the next run's end listens again.
        cancel();
        emit progressed();
        return;
    }
    if (!streams_->done()) {
        return;
    }
    slices_.stop();
    // The streams' figures are worked out on the worker too: for a call of
    // a million frames that is tens of milliseconds. It reads the call list,
    // which the capture leaves as it is while the worker holds its trackers.
    // The job, its streams and all they hold end there as well.
    blockCalls_ = chosen_->calls;
    watcher_.setFuture(
        QtConcurrent::run([job = std::move(*chosen_), streams = std::move(*streams_),
                           held = capture_->holdTrackers(), cancelled = cancelled_]() mutable {
            job.voice = streams.finishUnheard();
            held.reset();
            Result result;
            result.ok = job.run(result.found, result.error, cancelled.get());
            return result;
        }));
    chosen_.reset();
    streams_.reset();
}

void ListeningRun::blockDone() {
    Result result = watcher_.result();
    const std::vector<std::size_t> calls = std::move(blockCalls_);
    if (capture_ == nullptr || cancelled_->load()) {
        return; // called off meanwhile
    }
    if (!result.ok) {
        running_ = false;
        capture_->setListenedCalls(total_);
        emit failed(QString::fromStdString(result.error));
        emit progressed();
        return;
    }
    capture_->addListening(calls, std::move(result.found));
    capture_->setListenedCalls(next_);
    done_ = next_;
    emit progressed();
    nextBlock();
}
