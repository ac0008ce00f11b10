#pragma once

#include "app/KvIAXCapture.h"
#include "capture/QueuedHandoff.h"
#include "capture/WorkerThreads.h"

#include "tests/support/CaptureFakes.h"
#include "tests/support/EventLoop.h"

#include <gtest/gtest.h>

#include <sstream>

// A capture with the real hand-off and worker threads, as the applications
// have them, and a recording alert and element dump.
struct LoadHarness {
    LoadHarness() {
        services.handoff = &handoff;
        services.alert = &alert;
        services.threads = &threads;
        services.unknownElementDump = &dump;
    }
    ~LoadHarness() {
        threads.waitForAll([] { QCoreApplication::processEvents(); });
    }

    // Loads `path` into a new capture and waits for the worker's run to end.
    std::shared_ptr<KvIAXCapture> load(const QString& path) {
        auto capture = KvIAXCapture::create(services);
        bool ended = false;
        const auto connection =
            QObject::connect(capture.get(), &KvIAXCapture::runEnded, [&ended] { ended = true; });
        capture->loadCapture(path);
        if (!pumpUntil([&ended] { return ended; }, 60000)) {
            ADD_FAILURE() << "the load did not end";
        }
        QObject::disconnect(connection);
        return capture;
    }

    QueuedHandoff handoff;
    RecordingAlert alert;
    WorkerThreads threads;
    std::ostringstream dump;
    CaptureServices services;
};
