#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

// Starts capture workers on threads of their own and knows how many still
// run, so that the application can let them finish before it ends.
class WorkerThreads final {
public:
    WorkerThreads() = default;
    WorkerThreads(const WorkerThreads&) = delete;
    WorkerThreads& operator=(const WorkerThreads&) = delete;

    // `body` runs on a new detached thread and is destroyed there before the
    // thread counts as ended.
    template <class Body> void start(Body body) {
        begin();
        std::thread([this, body = std::move(body)]() mutable {
            {
                Body local = std::move(body);
                local();
            }
            end();
        }).detach();
    }

    [[nodiscard]] int running() const;
    // Waits until no worker runs. `pump` is called between short waits, for
    // example to serve the main-thread hand-off a worker may still need.
    void waitForAll(const std::function<void()>& pump = {});
    // The same, giving up at `deadline`; false when a worker still runs then.
    bool waitForAll(const std::function<void()>& pump,
                    std::chrono::steady_clock::time_point deadline);

private:
    void begin();
    void end();

    mutable std::mutex mutex_;
    std::condition_variable ended_;
    int running_ = 0;
};
