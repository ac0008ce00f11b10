#pragma once

#include "app/ListeningJob.h"

#include <QFutureWatcher>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <atomic>
#include <memory>
#include <optional>

class KvIAXCapture;

// Listens to a capture's calls' voice (activity, in-band digits) away from
// the main thread, a block of calls at a time: each block's streams are made
// here from the capture's records, some tens of thousands of frames between
// turns of the event loop; a worker with its own file handle works out their
// figures and decodes them, and what it found is handed to the capture here.
// Nothing else crosses: the worker reads its job and, while it holds the
// capture's trackers, the call list; it writes its results; the capture is
// touched on this thread only.
class ListeningRun final : public QObject {
    Q_OBJECT
public:
    explicit ListeningRun(QObject* parent = nullptr);
    ~ListeningRun() override;

    // Listens to the capture's calls not yet listened to; a run for another
    // capture is called off.
    void listen(KvIAXCapture* capture);
    void cancel();
    [[nodiscard]] bool isRunning() const { return running_; }
    // How far it got: calls listened to, of how many.
    [[nodiscard]] std::size_t done() const { return done_; }
    [[nodiscard]] std::size_t total() const { return total_; }

signals:
    void progressed();
    // Why listening stopped short ("the voice cannot be read again: ...").
    void failed(const QString& reason);

private:
    void nextBlock();
    // Makes the block's streams a slice at a time, then hands the job over.
    void makeStreams();
    void blockDone();

    struct Result {
        bool ok = false;
        std::string error;
        std::vector<CallListening> found;
    };
    QPointer<KvIAXCapture> capture_;
    std::vector<std::size_t> blockCalls_;    // of the block a worker listens to
    std::optional<ListeningJob> chosen_;     // while its streams are made
    std::optional<StreamsInSlices> streams_; // of chosen_
    QTimer slices_;
    std::size_t next_ = 0;
    std::shared_ptr<std::atomic<bool>> cancelled_;
    QFutureWatcher<Result> watcher_;
    bool running_ = false;
    std::size_t done_ = 0, total_ = 0;
};
