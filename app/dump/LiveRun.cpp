#include "app/dump/LiveRun.h"

#include "app/KvIAXCapture.h"
#include "app/TerminationSignals.h"
#include "app/dump/CallReports.h"
#include "capture/CaptureKeys.h"

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <poll.h>
#include <unistd.h>

namespace {

void stopAt(QCoreApplication& app, KvIAXCapture& capture, double seconds) {
    // A timer holds at most about 24 days; a longer run looks at its
    // deadline every hour until it has passed.
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                              std::chrono::duration<double>(seconds));
    auto* timer = new QTimer(&app);
    timer->setTimerType(Qt::PreciseTimer);
    QObject::connect(timer, &QTimer::timeout, &app, [&capture, deadline, timer] {
        const auto left = deadline - std::chrono::steady_clock::now();
        if (left > std::chrono::steady_clock::duration::zero()) {
            timer->start(std::min(std::chrono::ceil<std::chrono::milliseconds>(left),
                                  std::chrono::milliseconds(std::chrono::hours(1))));
        } else if (capture.isInProgress()) {
            capture.stopCapture();
        }
    });
    timer->setSingleShot(true);
    timer->start(0);
}

void every(QCoreApplication& app, std::chrono::milliseconds interval,
           const std::function<void()>& work) {
    auto* timer = new QTimer(&app);
    QObject::connect(timer, &QTimer::timeout, &app, work);
    timer->start(interval);
}

} // namespace

void startLiveRun(QCoreApplication& app, KvIAXCapture& capture, const DumpArguments& args,
                  CallReports* reports) {
    // The stop goes through the capture's own stopCapture on the main thread.
    new TerminationSignals(
        [&capture] {
            if (capture.isInProgress()) {
                capture.stopCapture();
            }
        },
        &app);
    if (args.durationSeconds) {
        stopAt(app, capture, *args.durationSeconds);
    }
    // A reader that went away while no frames arrive is seen here, not only
    // at the next write.
    every(app, std::chrono::milliseconds(250), [&capture] {
        pollfd out{STDOUT_FILENO, 0, 0};
        if (poll(&out, 1, 0) == 1 && (out.revents & POLLERR) != 0 && capture.isInProgress()) {
            capture.stopCapture();
        }
    });
    if (reports != nullptr) {
        every(app, std::chrono::seconds(5), [reports] { reports->reportEnded(false); });
        every(
            app,
            std::chrono::milliseconds(static_cast<long long>(args.hepReportIntervalSeconds * 1000)),
            [reports] { reports->reportGoing(); });
    }
    if (args.captureFilter) {
        capture.setValueForKey(keyText(capturekeys::captureFilter),
                               QString::fromLocal8Bit(args.captureFilter->c_str()));
    }
    capture.startCapture();
}
