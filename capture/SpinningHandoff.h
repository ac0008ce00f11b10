#pragma once

#include "capture/MainThreadHandoff.h"

#include <QObject>

#include <atomic>
#include <deque>
#include <memory>
#include <mutex>

class QThread;

// The hand-off used by the applications. Waking a sleeping thread costs tens
// of microseconds here, and a file load hands over one frame at a time, so
// neither side sleeps while the other is busy: a worker spins briefly on its
// request before it blocks, and the main thread, once woken, keeps taking
// requests until it has been idle for a moment or has used up its time slice,
// then returns to its event loop so that the window stays responsive.
class SpinningHandoff final : public QObject, public MainThreadHandoff {
    Q_OBJECT
public:
    // Create on the main thread; it is the thread that will run the tasks.
    explicit SpinningHandoff(QObject* parent = nullptr);
    ~SpinningHandoff() override;

    void runAndWait(const std::function<void()>& task) override;
    void post(std::function<void()> task) override;
    [[nodiscard]] bool isMainThread() const override;

private:
    struct Request;
    void drain();
    std::shared_ptr<Request> takeRequest();
    void requestDrain();

    QThread* mainThread_;
    std::mutex queueMutex_;
    std::deque<std::shared_ptr<Request>> queue_;
    // Requests in the queue, read without the lock while the main thread spins.
    std::atomic<int> pending_{0};
    std::atomic<bool> draining_{false};
    std::atomic<bool> drainRequested_{false};
};
