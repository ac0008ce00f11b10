#include "capture/QueuedHandoff.h"
#include "capture/WorkerThreads.h"

#include "tests/support/EventLoop.h"

#include <QCoreApplication>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

TEST(QueuedHandoff, TasksRunOnTheMainThreadInOrderAndWorkersWaitForThem) {
    QueuedHandoff handoff;
    WorkerThreads threads;
    QThread* const mainThread = QThread::currentThread();
    // Touched only on the main thread, so no lock: the hand-off is the lock.
    std::vector<int> seen[2];
    bool offMain = false;
    constexpr int perWorker = 2000; // each round trip wakes a sleeping thread

    for (int w = 0; w < 2; ++w) {
        threads.start([&, w] {
            for (int i = 0; i < perWorker; ++i) {
                int observed = -1;
                handoff.runAndWait([&] {
                    offMain = offMain || QThread::currentThread() != mainThread;
                    seen[w].push_back(i);
                    observed = static_cast<int>(seen[w].size());
                });
                // The task has finished by the time runAndWait returns.
                if (observed != i + 1) {
                    ADD_FAILURE() << "task had not run";
                    return;
                }
            }
        });
    }
    ASSERT_TRUE(pumpUntil([&] { return threads.running() == 0; }, 60000));
    EXPECT_FALSE(offMain);
    for (const auto& list : seen) {
        ASSERT_EQ(list.size(), static_cast<std::size_t>(perWorker));
        for (int i = 0; i < perWorker; ++i) {
            ASSERT_EQ(list[static_cast<std::size_t>(i)], i);
        }
    }
}

TEST(QueuedHandoff, WakesAnIdleMainThreadAndRunsPostedTasks) {
    QueuedHandoff handoff;
    WorkerThreads threads;
    int completed = 0;
    int posted = 0;
    threads.start([&] {
        for (int i = 0; i < 5; ++i) {
            // The main thread is back in its event loop, idle, each time.
            std::this_thread::sleep_for(std::chrono::milliseconds(8));
            handoff.runAndWait([&] { ++completed; });
        }
        handoff.post([&] { ++posted; });
    });
    ASSERT_TRUE(pumpUntil([&] { return threads.running() == 0 && posted == 1; }));
    EXPECT_EQ(completed, 5);
}

TEST(QueuedHandoff, OnTheMainThreadRunsAtOnce) {
    QueuedHandoff handoff;
    int ran = 0;
    handoff.runAndWait([&] { ++ran; });
    EXPECT_EQ(ran, 1);
    EXPECT_TRUE(handoff.isMainThread());
}

// A task dropped at teardown may hold the last reference to an object whose
// destructor asks the hand-off which thread it is on (a capture does).
TEST(QueuedHandoff, TasksDroppedAtTeardownMayStillAskForTheThread) {
    auto* handoff = new QueuedHandoff;
    bool asked = false;
    auto asker = std::shared_ptr<int>(new int(0), [handoff, &asked](int* p) {
        asked = handoff->isMainThread();
        delete p;
    });
    handoff->post([asker = std::move(asker)] {});
    delete handoff;
    EXPECT_TRUE(asked);
}

// A worker's per-thread state (a library's buffers) goes only as its thread
// ends for good: waiting for the workers waits for that too, so that nothing
// of theirs is left when the application ends.
TEST(WorkerThreads, WaitingForTheWorkersWaitsForTheirThreadsToEnd) {
    static std::atomic<bool> stateGone{false};
    struct ThreadState {
        ~ThreadState() {
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            stateGone = true;
        }
    };
    WorkerThreads threads;
    threads.start([] {
        thread_local ThreadState state;
        (void)state;
    });
    threads.waitForAll();
    EXPECT_TRUE(stateGone);
}

// A capture shared with a worker is deleted on the main thread: when the
// worker lets go of it last, the deletion is posted as the worker ends.
TEST(WorkerThreads, WaitingForTheWorkersServesWhatTheyPostedAsTheyEnded) {
    QueuedHandoff handoff;
    WorkerThreads threads;
    for (int round = 0; round < 20; ++round) {
        bool deleted = false;
        auto shared = std::shared_ptr<int>(new int(0), [&](int* p) {
            handoff.post([p, &deleted] {
                delete p;
                deleted = true;
            });
        });
        threads.start([held = std::move(shared)] {
            (void)held;
            std::this_thread::sleep_for(std::chrono::milliseconds(7));
        });
        threads.waitForAll([] { QCoreApplication::processEvents(); });
        ASSERT_TRUE(deleted) << "round " << round;
    }
}
