#pragma once

#include "filter/DisplayFilter.h"
#include "ui/KeyColumns.h"

#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class ColumnChooser;
class DisplayFilterBar;
class FindBar;
class FrameComments;
class FrameSelection;
class FrameFilterRun;
class FrameSortRun;
class FrameTableModel;
class UniformRowsView;
class KvIAXCapture;
class QMenu;
class QTabWidget;

// The frames of the selected capture: the display filter and find bars
// above the tabs (Frames first; the other panels add theirs), the frame
// table with its model, the rows shown (the display filter's matches among
// the selected calls' frames, tested a slice at a time), Go to Frame, Apply
// and Prepare as Filter, and the View menu's columns and time format.
class FramesPanel final : public QWidget {
    Q_OBJECT
public:
    // `framesTable` is the interface description's table, taken over.
    FramesPanel(UniformRowsView* framesTable, KeyColumns columns, QWidget* parent = nullptr);
    ~FramesPanel() override;

    void setCapture(KvIAXCapture* capture);
    // Shows only these frames (the selected calls'), or all again.
    void setCallFrames(std::optional<std::vector<std::uint32_t>> frames);
    // The selected calls' frames the table shows; null where none are selected.
    [[nodiscard]] std::shared_ptr<const std::vector<std::uint32_t>> callFrames() const {
        return callFrames_;
    }

    [[nodiscard]] QTabWidget* tabs() const { return tabs_; }
    [[nodiscard]] UniformRowsView* table() const { return table_; }
    [[nodiscard]] FrameTableModel& model() const { return *model_; }
    [[nodiscard]] DisplayFilterBar* filterBar() const { return filterBar_; }
    [[nodiscard]] FindBar* findBar() const { return findBar_; }
    [[nodiscard]] bool isFiltering() const;
    // The frame the current row shows (1-based); 0 for none.
    [[nodiscard]] std::uint32_t currentFrame() const;
    // "12 / 38 frames shown, filtering (40 %)", and why a filter or Go to
    // failed; empty parts left out.
    [[nodiscard]] QString statusText() const;
    [[nodiscard]] const QString& note() const { return note_; }
    void setNote(const QString& note);

    // Selects frame `number`'s row, showing the Frames tab; false, with the
    // reason in the note and the beep, where no row shows it.
    bool goToFrame(std::uint32_t number);
    // Selects the row without leaving the tab shown.
    void selectFrame(std::uint32_t number);
    void selectRow(int row);
    void filterOnFrameCell(const QModelIndex& index, bool apply);
    void filterOnElement(std::size_t element, bool apply);
    // Puts the expression in the filter bar, and applies it with `apply`.
    void useAsFilter(const std::optional<std::string>& expression, bool apply);

    // Shows the frames sorted by a column, or in capture order for column -1.
    void sortBy(int column, Qt::SortOrder order);
    [[nodiscard]] bool isSorting() const;
    // Display Filter, Find, Find Next, Find Previous, Go to Frame; Copy;
    // Mark, Next and Previous Mark, Time Reference, Packet Comment.
    void addEditActions(QMenu* edit);
    // First, Last, Next, Previous Frame; Next and Previous Frame in Call.
    void addGoMenu(QMenu* go);
    // The selected rows, their text and the comments, for copy and export.
    [[nodiscard]] const FrameSelection& selection() const { return *selection_; }
    // Writes (or with an empty text removes) frame `number`'s comment.
    bool setComment(std::uint32_t number, const QString& text);
    // Asks for frame `frame`'s comment, and writes it.
    void askComment(std::uint32_t frame);
    // Columns and Time Format.
    void addViewMenus(QMenu* view);
    // File > Properties of the capture shown, before `before`.
    void addFileActions(QMenu* file, QAction* before);
    // Frame Counts (of the frames `selectedCallFrames` gives, where it gives
    // some: the selected calls'), Conversations and IO Graph of the capture
    // shown.
    using CallFrames = std::shared_ptr<const std::vector<std::uint32_t>>;
    void addStatisticsMenu(QMenu* statistics, std::function<CallFrames()> selectedCallFrames);
    // The table's columns as the user arranges them (View > Columns).
    [[nodiscard]] ColumnChooser* columns() const { return columns_; }

signals:
    // The current row changed: its frame (0 for none).
    void frameSelected(quint32 frameNumber);
    // What statusText() says changed.
    void statusChanged();
    // View > Time Format, or the time reference, changed the frame table's times.
    void timeFormatChanged();
    // A frame's comment was written or removed.
    void commentsChanged();

private:
    void applyDisplayFilter(const std::optional<filter::DisplayFilter>& filter);
    void refreshRows();
    void showContextMenu(const QPoint& at);
    void goAlongCall(bool forward);

    QTabWidget* tabs_;
    UniformRowsView* table_;
    FrameTableModel* model_;
    ColumnChooser* columns_ = nullptr;
    DisplayFilterBar* filterBar_;
    FindBar* findBar_;
    std::optional<filter::DisplayFilter> displayFilter_;
    FrameFilterRun* filterRun_ = nullptr;
    FrameSortRun* sortRun_ = nullptr;
    // Shared with the model and a filter's run.
    std::shared_ptr<const std::vector<std::uint32_t>> callFrames_;
    QString note_;
    std::unique_ptr<FrameSelection> selection_;
};
