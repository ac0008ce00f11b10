#include "capture/WorkerThreads.h"

#include <chrono>

WorkerThreads::~WorkerThreads() {
    joinEnded();
    std::lock_guard lock(mutex_);
    for (std::thread& thread : threads_) {
        thread.detach(); // it would have to be waited for, with what it may need
    }
}

void WorkerThreads::end() {
    std::lock_guard lock(mutex_);
    const auto self = std::this_thread::get_id();
    for (auto it = threads_.begin(); it != threads_.end(); ++it) {
        if (it->get_id() == self) {
            endedThreads_.push_back(std::move(*it));
            threads_.erase(it);
            break;
        }
    }
    --running_;
    ended_.notify_all();
}

void WorkerThreads::joinEnded() {
    std::vector<std::thread> ended;
    {
        std::lock_guard lock(mutex_);
        ended.swap(endedThreads_);
    }
    for (std::thread& thread : ended) {
        thread.join();
    }
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
    {
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
    }
    joinEnded();
    // A worker's last reference, let go as its body ends, may post the
    // object's deletion to the main thread just before the worker counts as
    // ended: serve it too, or it stays queued, and is lost with the queue.
    if (pump) {
        pump();
    }
    return true;
}
