#include "capture/WorkerThreads.h"

#include <chrono>

void WorkerThreads::begin() {
    std::lock_guard lock(mutex_);
    ++running_;
}

void WorkerThreads::end() {
    std::lock_guard lock(mutex_);
    --running_;
    ended_.notify_all();
}

int WorkerThreads::running() const {
    std::lock_guard lock(mutex_);
    return running_;
}

void WorkerThreads::waitForAll(const std::function<void()>& pump) {
    waitForAll(pump, std::chrono::steady_clock::time_point::max());
}

bool WorkerThreads::waitForAll(const std::function<void()>& pump,
                               std::chrono::steady_clock::time_point deadline) {
    std::unique_lock lock(mutex_);
    while (running_ > 0) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        if (pump) {
            lock.unlock();
            pump();
            lock.lock();
            ended_.wait_for(lock, std::chrono::milliseconds(5));
        } else {
            ended_.wait_until(lock, deadline);
        }
    }
    return true;
}
