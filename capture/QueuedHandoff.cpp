#include "capture/QueuedHandoff.h"

#include <QCoreApplication>
#include <QThread>

#include <atomic>
#include <memory>

QueuedHandoff::QueuedHandoff(QObject* parent)
    : QObject(parent), mainThread_(QThread::currentThread()) {}

QueuedHandoff::~QueuedHandoff() {
    QCoreApplication::removePostedEvents(this);
}

bool QueuedHandoff::isMainThread() const {
    return QThread::currentThread() == mainThread_;
}

void QueuedHandoff::post(std::function<void()> task) {
    QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
}

void QueuedHandoff::runAndWait(const std::function<void()>& task) {
    if (isMainThread()) {
        task();
        return;
    }
    // Shared, so that the main thread may still signal it after the worker,
    // woken by the store, has returned.
    const auto done = std::make_shared<std::atomic<bool>>(false);
    QMetaObject::invokeMethod(
        this,
        [&task, done] {
            task();
            done->store(true, std::memory_order_release);
            done->notify_one();
        },
        Qt::QueuedConnection);
    while (!done->load(std::memory_order_acquire)) {
        done->wait(false, std::memory_order_acquire);
    }
}
