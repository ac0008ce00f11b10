#pragma once

#include "app/DissectionExport.h"
#include "app/PacketExport.h"

#include <QFutureWatcher>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class KvIAXCapture;
class KvIAXFrame;

// One export of frames to a new file, never holding the window for long:
// a slice of about 15 ms at a time on the main thread, the frames' packets
// gathered and then copied on a worker, or their details (or their rows)
// written. It ends with finished(); a capture that goes, or whose list is
// replaced, ends it with an error, and no file is made.
class ExportRun final : public QObject {
    Q_OBJECT
public:
    // The frames' rows as text, with the titles line or without: CSV.
    using RowsText = std::function<QString(const std::vector<std::uint32_t>&, bool titled)>;

    static ExportRun* packets(const KvIAXCapture& capture, std::vector<std::uint32_t> frames,
                              std::string destination,
                              std::map<std::uint32_t, std::string> comments, QObject* parent);
    static ExportRun* dissections(const KvIAXCapture& capture, std::vector<std::uint32_t> frames,
                                  DissectionFormat format, const std::string& destination,
                                  QObject* parent);
    static ExportRun* rows(const KvIAXCapture& capture, std::vector<std::uint32_t> frames,
                           RowsText rowsText, const std::string& destination, QObject* parent);
    ~ExportRun() override;

    // How far it got: frames gone over, of how many.
    [[nodiscard]] std::size_t done() const;
    [[nodiscard]] std::size_t total() const { return total_; }

signals:
    void progressed();
    // `error` says why nothing was written where `ok` is false.
    void finished(bool ok, const QString& error);

private:
    ExportRun(const KvIAXCapture& capture, std::vector<std::uint32_t> frames, QObject* parent);
    void slice();
    bool gatherPackets(std::chrono::steady_clock::time_point deadline);
    bool writeRows(std::chrono::steady_clock::time_point deadline, std::string& error);
    void end(bool ok, const std::string& error);

    QPointer<const KvIAXCapture> capture_;
    const KvIAXFrame* firstFrame_; // tells a replaced list
    std::vector<std::uint32_t> frames_;
    std::size_t total_ = 0;
    std::size_t next_ = 0;
    QTimer slices_;
    // Packets: their numbers in the file, then copied on a worker.
    std::string capturePath_, destination_;
    std::map<std::uint32_t, std::string> comments_;
    std::vector<std::uint32_t> packets_;
    bool packetsWanted_ = false;
    QFutureWatcher<std::string> copying_; // the error, empty when written
    // Dissections.
    std::unique_ptr<DissectionWriter> writer_;
    // Rows.
    RowsText rowsText_;
    std::unique_ptr<NewFile> rowsFile_;
};
