#pragma once

#include "capture/MainThreadHandoff.h"

#include <QObject>

class QThread;

// The hand-off used by the applications: a task is queued to the main
// thread's event loop, and a waiting worker sleeps until it has run. Nothing
// spins: on a machine that is doing other work a spinning thread takes the
// core the other side needs. Workers hand over blocks of frames, so the cost
// of waking a thread (tens of microseconds here) is paid once per block.
class QueuedHandoff final : public QObject, public MainThreadHandoff {
    Q_OBJECT
public:
    // Create on the main thread; it is the thread that will run the tasks.
    explicit QueuedHandoff(QObject* parent = nullptr);
    // Drops the tasks still queued while this is still whole: a dropped task
    // may hold the last reference to a capture, whose deleter asks this
    // hand-off which thread it is on.
    ~QueuedHandoff() override;

    void runAndWait(const std::function<void()>& task) override;
    void post(std::function<void()> task) override;
    [[nodiscard]] bool isMainThread() const override;

private:
    QThread* mainThread_;
};
