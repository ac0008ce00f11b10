#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>

#include <functional>

// Runs the main thread's event loop until `done` holds or `timeoutMs` passes.
inline bool pumpUntil(const std::function<bool()>& done, int timeoutMs = 10000) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}
