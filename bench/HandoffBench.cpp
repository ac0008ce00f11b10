// Round trips through the main-thread hand-off: a worker asks the main
// thread to run a trivial task and waits for it, as the file loader does once
// per frame.
//   build/bench/handoff_bench [ROUND_TRIPS]
#include "capture/QueuedHandoff.h"
#include "capture/WorkerThreads.h"

#include <QCoreApplication>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const long trips = argc > 1 ? std::atol(argv[1]) : 1'000'000;
    QueuedHandoff handoff;
    WorkerThreads threads;
    long counter = 0;
    const auto start = std::chrono::steady_clock::now();
    threads.start([&] {
        for (long i = 0; i < trips; ++i) {
            handoff.runAndWait([&counter] { ++counter; });
        }
        handoff.post([&app] { app.quit(); });
    });
    app.exec();
    threads.waitForAll();
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    std::printf("%ld round trips in %.3f s: %.3f us each\n", counter, elapsed.count(),
                elapsed.count() * 1e6 / static_cast<double>(trips));
    return counter == trips ? 0 : 1;
}
