#include "capture/SpinningHandoff.h"

#include <QCoreApplication>
#include <QThread>

#include <chrono>

namespace {

using Clock = std::chrono::steady_clock;

// How long the main thread waits for the next request before it returns to
// its event loop, and the longest it stays away from the loop in one go.
constexpr auto mainIdleSpin = std::chrono::microseconds(2000);
constexpr auto mainTimeSlice = std::chrono::milliseconds(15);
// How long a worker spins on its request before it sleeps.
constexpr auto workerSpin = std::chrono::microseconds(50);

inline void cpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

} // namespace

// A worker's request. Shared between the worker and the main thread, so the
// main thread may still signal completion after the worker has moved on.
struct SpinningHandoff::Request {
    const std::function<void()>* task = nullptr;
    std::atomic<std::uint32_t> done{0};
};

SpinningHandoff::SpinningHandoff(QObject* parent)
    : QObject(parent), mainThread_(QThread::currentThread()) {}

SpinningHandoff::~SpinningHandoff() = default;

bool SpinningHandoff::isMainThread() const {
    return QThread::currentThread() == mainThread_;
}

void SpinningHandoff::post(std::function<void()> task) {
    QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
}

void SpinningHandoff::requestDrain() {
    if (!drainRequested_.exchange(true)) {
        QMetaObject::invokeMethod(this, &SpinningHandoff::drain, Qt::QueuedConnection);
    }
}

void SpinningHandoff::runAndWait(const std::function<void()>& task) {
    if (isMainThread()) {
        task();
        return;
    }
    // One request per worker thread, reused for every delivery it makes.
    thread_local const auto request = std::make_shared<Request>();
    request->task = &task;
    request->done.store(0, std::memory_order_relaxed);
    {
        std::lock_guard lock(queueMutex_);
        queue_.push_back(request);
    }
    pending_.fetch_add(1, std::memory_order_seq_cst);
    if (!draining_.load(std::memory_order_seq_cst)) {
        requestDrain();
    }
    const auto spinUntil = Clock::now() + workerSpin;
    for (unsigned spins = 1; request->done.load(std::memory_order_acquire) == 0; ++spins) {
        // The clock is read now and then only: it costs more than a look at the flag.
        if (spins % 64 == 0 && Clock::now() >= spinUntil) {
            request->done.wait(0, std::memory_order_acquire);
        } else {
            cpuRelax();
        }
    }
}

std::shared_ptr<SpinningHandoff::Request> SpinningHandoff::takeRequest() {
    if (pending_.load(std::memory_order_acquire) == 0) {
        return nullptr;
    }
    std::lock_guard lock(queueMutex_);
    if (queue_.empty()) {
        return nullptr; // counted, but not pushed yet: look again later
    }
    auto request = std::move(queue_.front());
    queue_.pop_front();
    pending_.fetch_sub(1, std::memory_order_relaxed);
    return request;
}

void SpinningHandoff::drain() {
    drainRequested_.store(false);
    draining_.store(true, std::memory_order_seq_cst);
    const auto sliceEnd = Clock::now() + mainTimeSlice;
    auto idleUntil = Clock::now() + mainIdleSpin;
    bool workedSinceLook = false;
    for (unsigned turn = 1;; ++turn) {
        auto request = takeRequest();
        if (request) {
            (*request->task)();
            request->done.store(1, std::memory_order_release);
            request->done.notify_one();
            workedSinceLook = true;
        }
        // The clock is read every 64 turns only: it costs more than a look at the count.
        if (turn % 64 != 0) {
            if (!request) {
                cpuRelax();
            }
            continue;
        }
        const auto now = Clock::now();
        if (now >= sliceEnd) {
            break;
        }
        if (workedSinceLook) {
            idleUntil = now + mainIdleSpin;
            workedSinceLook = false;
        } else if (now >= idleUntil) {
            break;
        }
    }
    draining_.store(false, std::memory_order_seq_cst);
    // A worker that queued after our last look saw us draining and asked for
    // nothing; make sure its request is not left waiting.
    std::lock_guard lock(queueMutex_);
    if (!queue_.empty()) {
        requestDrain();
    }
}
