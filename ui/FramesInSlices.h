#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class KvIAXCapture;
class KvIAXFrame;

// Visits a capture's frames on the main thread a slice of about 15 ms at a
// time, so that summing tens of millions of them never holds the window:
// every frame there is when it starts, or only those numbered (1-based,
// rising). Once all are visited it calls `done` and goes. A capture that
// goes, or whose list is replaced, ends it without calling `done`.
class FramesInSlices final : public QObject {
    Q_OBJECT
public:
    using Visit = std::function<void(const KvIAXFrame&)>;
    using Done = std::function<void(const KvIAXCapture&)>;
    // Shared, not copied: a selection's frames may be tens of millions.
    using FrameNumbers = std::shared_ptr<const std::vector<std::uint32_t>>;
    // Owned by `parent`, which may end it early by going. Every frame where
    // `only` is null.
    static FramesInSlices* start(QObject* parent, const KvIAXCapture& capture, FrameNumbers only,
                                 Visit visit, Done done);

private:
    FramesInSlices(QObject* parent, const KvIAXCapture& capture, FrameNumbers only, Visit visit,
                   Done done);
    void slice();

    QPointer<const KvIAXCapture> capture_;
    const KvIAXFrame* firstFrame_; // tells a replaced list
    FrameNumbers only_;
    std::size_t total_, next_ = 0;
    Visit visit_;
    Done done_;
    QTimer slices_;
};
