#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <list>
#include <mutex>
#include <thread>
#include <vector>

// Starts capture workers on threads of their own and knows how many still
// run, so that the application can let them finish before it ends.
class WorkerThreads final {
public:
    WorkerThreads() = default;
    WorkerThreads(const WorkerThreads&) = delete;
    WorkerThreads& operator=(const WorkerThreads&) = delete;

    // Lets go of the threads whose bodies ended; one still running is left
    // to end on its own.
    ~WorkerThreads();

    // `body` runs on a new thread and is destroyed there before the thread
    // counts as ended.
    template <class Body> void start(Body body) {
        joinEnded();
        std::lock_guard lock(mutex_);
        ++running_;
        // The thread finds its handle in the list under the same lock, so
        // it is there before the thread can end.
        threads_.emplace_back([this, body = std::move(body)]() mutable {
            {
                Body local = std::move(body);
                local();
            }
            end();
        });
    }
    [[nodiscard]] int running() const;
    // Waits until no worker runs. `pump` is called between short waits, for
    // example to serve the main-thread hand-off a worker may still need; it
    // is called once more after the last worker ended, for what it posted
    // as it ended.
    void waitForAll(const std::function<void()>& pump = {});
    // The same, giving up at `deadline`; false when a worker still runs then.
    bool waitForAll(const std::function<void()>& pump,
                    std::chrono::steady_clock::time_point deadline);

private:
    // Moves the calling thread's handle to the ended ones, and counts it out.
    void end();
    // Joins the threads whose bodies ended. A thread's own state (a
    // library's per-thread buffers) is let go only as it ends for good, so
    // waiting for the workers means joining them, not only counting them.
    void joinEnded();

    mutable std::mutex mutex_;
    std::condition_variable ended_;
    int running_ = 0;
    std::list<std::thread> threads_;        // bodies still running
    std::vector<std::thread> endedThreads_; // bodies done, threads to join
};
