#include "app/TerminationSignals.h"

#include <QSocketNotifier>

#include <fcntl.h>
#include <unistd.h>

#include <csignal>

namespace {

int signalPipe[2] = {-1, -1};

void writeSignalByte(int) {
    const char byte = 1;
    [[maybe_unused]] const auto ignored = write(signalPipe[1], &byte, 1);
}

} // namespace

TerminationSignals::TerminationSignals(std::function<void()> onSignal, QObject* parent)
    : QObject(parent), onSignal_(std::move(onSignal)) {
    if (pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        return; // the default action stays: the signal ends the process
    }
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this] {
        char byte = 0;
        while (read(signalPipe[0], &byte, 1) == 1) {
        }
        onSignal_();
    });
    std::signal(SIGINT, writeSignalByte);
    std::signal(SIGTERM, writeSignalByte);
}

TerminationSignals::~TerminationSignals() {
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
}
