#pragma once

#include "quality/Problems.h"
#include "app/KvIAXCapture.h"
#include "dissect/FrameDisplay.h"
#include "dissect/KvIAXFrame.h"
#include "ui/FieldColumnSet.h"
#include "ui/KeyColumns.h"

#include <QAbstractTableModel>
#include <QPointer>
#include <QTimer>

#include <memory>
#include <optional>
#include <vector>

// The frame table: the frame list of one capture, by the frame keys, with
// three columns of the table's own around them: the frame's number first,
// its length and a one-line summary (Info); then columns of any field the
// user added. Frames
// appended by the hand-off become rows in batches: appends that come within a
// few milliseconds of each other are one insert, never a reset, so a load of a
// million frames keeps the window responsive and the selection and scroll
// position where they are.
class FrameTableModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit FrameTableModel(KeyColumns columns, QObject* parent = nullptr);

    void setCapture(KvIAXCapture* capture);
    [[nodiscard]] KvIAXCapture* capture() const { return capture_; }
    [[nodiscard]] std::shared_ptr<KvIAXFrame> frameAt(int row) const;
    // The frame a row shows, as its 1-based position in the capture's list; 0 for none.
    [[nodiscard]] std::uint32_t frameNumberAt(int row) const;
    // Inserts the rows of frames appended so far (normally done by a timer).
    void flushAppends();
    // Shows only these frames (1-based positions in the capture's list,
    // rising), or, given nothing, every frame again. Rows are mapped to
    // frames: never assume a row is a position in the list. The list is
    // shared, not copied: a selection's may be tens of millions of frames.
    using FrameNumbers = std::shared_ptr<const std::vector<std::uint32_t>>;
    void setFrameFilter(FrameNumbers frameNumbers);
    // Shows no frame, then those appended: a display filter's matches.
    void startMatches();
    [[nodiscard]] bool isFiltered() const { return filter() != nullptr; }
    // Adds frames to the matches shown, after the ones there (`frameNumbers`
    // increasing, each above every frame shown), as they are found.
    void appendToFilter(const std::vector<std::uint32_t>& frameNumbers);
    // The frames shown, in the order they are shown (1-based positions).
    [[nodiscard]] std::vector<std::uint32_t> shownFrames() const;
    // Those of rows `first` to `last` (excluded, at most the rows shown),
    // appended to `frames`.
    void appendShownFrames(int first, int last, std::vector<std::uint32_t>& frames) const;
    // The frames in the order rows show them, and each frame's row (-1: not
    // shown). Made away from the main thread: at ten million rows the rows'
    // map alone takes tens of milliseconds.
    struct SortedRows {
        std::vector<std::uint32_t> order;
        std::vector<std::int32_t> rowOfFrame;
    };
    [[nodiscard]] static SortedRows sortedRows(std::vector<std::uint32_t> order);
    // Shows the same frames in this order (a permutation of shownFrames()),
    // or in capture order again given nothing. Frames added later go after.
    void setOrder(std::optional<SortedRows> rows);
    [[nodiscard]] bool isSorted() const { return order_.has_value(); }
    // The row that shows a frame (1-based position in the list); -1 where none does.
    [[nodiscard]] int rowOfFrame(std::uint32_t frameNumber) const;
    [[nodiscard]] int capturedColumn() const { return capturedColumn_; }
    // The frame key a column shows; for the table's own columns, the filter
    // field it shows ("frame.number", "frame.len"), or empty for Info.
    [[nodiscard]] QString keyOfColumn(int column) const;
    [[nodiscard]] static constexpr int numberColumn() { return 0; }
    [[nodiscard]] int infoColumn() const { return columns_.count() + 2; }
    // Columns of any field, after Info (their key: fieldColumnKey and their fields).
    static constexpr const char* fieldColumnKey = "field:";
    void setFieldColumns(FieldColumnSet columns);
    [[nodiscard]] const FieldColumnSet& fieldColumns() const { return fieldColumns_; }
    [[nodiscard]] int firstFieldColumn() const { return infoColumn() + 1; }
    // A field column's first value as a number, for a sort.
    [[nodiscard]] std::optional<std::int64_t> fieldNumberAt(int row, int column) const;
    [[nodiscard]] bool isNumericFieldColumn(int column) const;
    // The frames that have a problem, with the worst severity of each, in
    // frame order: their rows are coloured by it.
    using ProblemFrames = std::vector<std::pair<std::uint32_t, quality::Severity>>;
    void setProblemFrames(ProblemFrames frames);
    // The first row after `row` whose frame has a problem; -1 where none does.
    [[nodiscard]] int nextProblemRow(int row) const;
    // Marked frames (Edit > Mark) show dark; marks stay until the capture changes.
    void toggleMark(std::uint32_t frame);
    [[nodiscard]] bool isMarked(std::uint32_t frame) const;
    [[nodiscard]] const std::vector<std::uint32_t>& marks() const { return marks_; }
    // The row of the next (or previous) marked frame shown; -1 where none.
    [[nodiscard]] int nextMarkedRow(int row, bool forward) const;
    // Times since the first frame count from this one instead (0: none); its
    // own row says "*REF*".
    void setTimeReference(std::uint32_t frame);
    [[nodiscard]] std::uint32_t timeReference() const { return reference_; }
    // How the `captured` column shows the capture time; its key's text is not changed.
    void setTimeFormat(framedisplay::TimeFormat format);
    [[nodiscard]] framedisplay::TimeFormat timeFormat() const { return timeFormat_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    void reset();
    void appendOrdered(std::uint32_t frame);
    void letGoOfOrder();

    KeyColumns columns_;
    QPointer<KvIAXCapture> capture_;
    int shownRows_ = 0; // rows announced to the views
    QTimer flushTimer_;
    QList<QMetaObject::Connection> connections_;
    framedisplay::TimeFormat timeFormat_ = framedisplay::TimeFormat::DateAndTime;
    // The frames shown where not all are: a list given, or the matches.
    [[nodiscard]] const std::vector<std::uint32_t>* filter() const {
        return chosen_ ? chosen_.get() : matches_ ? &*matches_ : nullptr;
    }
    FrameNumbers chosen_;
    std::optional<std::vector<std::uint32_t>> matches_;
    // Sorted: the frames by row, and each frame's row (-1: not shown).
    std::optional<std::vector<std::uint32_t>> order_;
    std::vector<std::int32_t> rowOfFrame_;
    ProblemFrames problemFrames_;
    std::vector<std::uint32_t> marks_; // rising
    std::uint32_t reference_ = 0;
    [[nodiscard]] std::size_t frameIndexOf(int row) const;
    [[nodiscard]] const FrameFacts* previousShownFacts(int row) const;
    FieldColumnSet fieldColumns_;
    int capturedColumn_;
};
