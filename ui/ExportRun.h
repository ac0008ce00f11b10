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
#include <initializer_list>
#include <utility>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class FrameTableModel;
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
    // The frames (1-based) an export takes: those listed, or those of runs
    // [first, last) of the rows a frame table shows as it starts (all of
    // them by default), listed a block at a time first: at tens of
    // millions of rows, listing them at once held the window a tenth of a
    // second. Rows that go or change meanwhile end it.
    struct Frames {
        Frames(std::vector<std::uint32_t> frames) : listed(std::move(frames)) {}
        Frames(std::initializer_list<std::uint32_t> frames) : listed(frames) {}
        explicit Frames(const FrameTableModel& table);
        Frames(const FrameTableModel& table, std::vector<std::pair<int, int>> rowRuns)
            : shown(&table), runs(std::move(rowRuns)) {}
        std::vector<std::uint32_t> listed;
        const FrameTableModel* shown = nullptr;
        std::vector<std::pair<int, int>> runs;
    };

    static ExportRun* packets(const KvIAXCapture& capture, Frames frames, std::string destination,
                              std::map<std::uint32_t, std::string> comments, QObject* parent);
    static ExportRun* dissections(const KvIAXCapture& capture, Frames frames,
                                  DissectionFormat format, const std::string& destination,
                                  QObject* parent);
    static ExportRun* rows(const KvIAXCapture& capture, Frames frames, RowsText rowsText,
                           const std::string& destination, QObject* parent);
    ~ExportRun() override;

    // How far it got: frames gone over, of how many.
    [[nodiscard]] std::size_t done() const;
    [[nodiscard]] std::size_t total() const { return total_; }

signals:
    void progressed();
    // `error` says why nothing was written where `ok` is false.
    void finished(bool ok, const QString& error);

private:
    ExportRun(const KvIAXCapture& capture, Frames frames, QObject* parent);
    void slice();
    // Lists the shown rows' frames until `deadline`; false where they changed.
    bool listShownRows(std::chrono::steady_clock::time_point deadline);
    [[nodiscard]] bool isListing() const { return run_ < runs_.size(); }
    bool gatherPackets(std::chrono::steady_clock::time_point deadline);
    bool writeRows(std::chrono::steady_clock::time_point deadline, std::string& error);
    void end(bool ok, const std::string& error);

    QPointer<const KvIAXCapture> capture_;
    const KvIAXFrame* firstFrame_; // tells a replaced list
    std::vector<std::uint32_t> frames_;
    std::size_t total_ = 0;
    std::size_t next_ = 0;
    // The runs of shown rows being listed into frames_, and whether they changed.
    QPointer<const FrameTableModel> shown_;
    std::vector<std::pair<int, int>> runs_;
    std::size_t run_ = 0;
    int nextRow_ = 0;
    bool shownChanged_ = false;
    QTimer slices_;
    // Packets: their numbers in the file, then copied on a worker.
    std::string capturePath_, destination_;
    std::map<std::uint32_t, std::string> comments_;
    std::vector<std::uint32_t> packets_;
    bool packetsWanted_ = false;
    QFutureWatcher<std::string> copying_; // the error, empty when written
    // Dissections: the writer, once the frames are listed.
    std::optional<DissectionFormat> dissection_;
    std::unique_ptr<DissectionWriter> writer_;
    // Rows.
    RowsText rowsText_;
    std::unique_ptr<NewFile> rowsFile_;
};
