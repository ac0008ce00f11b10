#pragma once

#include "app/CaptureFilter.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <memory>
#include <optional>
#include <vector>

class KvIAXCapture;

// Tests a capture's frames against a display filter on the main thread, in
// slices of a few milliseconds between which the event loop runs, so that a
// million frames never freeze the window. The frames are the capture's
// list, which only the main thread may touch, so no worker could read it
// while a load appends to it. Given no candidate list, it goes on with the
// frames that arrive later, as a live capture or a load hands them over.
class FrameFilterRun final : public QObject {
    Q_OBJECT
public:
    // `candidates`: the frames (1-based, increasing) to test; every frame when none.
    FrameFilterRun(KvIAXCapture& capture, filter::DisplayFilter filter,
                   std::shared_ptr<const std::vector<std::uint32_t>> candidates,
                   QObject* parent = nullptr);

    void start();
    [[nodiscard]] bool isDone() const { return done_; }
    // Frames tested, and frames to test so far.
    [[nodiscard]] std::size_t tested() const { return next_; }
    [[nodiscard]] std::size_t total() const;
    // Why the filter cannot be tested here, or why the run stopped at a
    // frame it could not be tested on; empty while it can.
    [[nodiscard]] const QString& problem() const { return problem_; }

signals:
    // Frames that matched, in increasing order, after those of earlier signals.
    void matched(const std::vector<std::uint32_t>& frameNumbers);
    void progressed();

private:
    void slice();
    [[nodiscard]] std::size_t available() const;

    QPointer<KvIAXCapture> capture_;
    CaptureFilter filter_;
    std::shared_ptr<const std::vector<std::uint32_t>> candidates_;
    std::size_t next_ = 0; // into the candidates, or the frame list
    bool done_ = false;
    QString problem_;
    QTimer timer_;
};
