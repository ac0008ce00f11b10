#pragma once

#include <QObject>

#include <functional>

// SIGINT and SIGTERM, delivered on the main thread's event loop: the handler
// only writes a byte to a pipe, and `onSignal` runs when the loop reads it.
// One per process; create on the main thread.
class TerminationSignals final : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignals(std::function<void()> onSignal, QObject* parent = nullptr);
    ~TerminationSignals() override;

private:
    std::function<void()> onSignal_;
};
