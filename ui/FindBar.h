#pragma once

#include "app/CaptureFilter.h"

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class FrameTableModel;
class QComboBox;
class ElidedLabel;
class QLabel;
class QLineEdit;

// Find (Ctrl+F): the next (or previous) row of the frame table whose frame
// matches a display filter expression, or whose cells hold a text (case
// ignored), from the current row on, wrapping at the end. The rows are
// searched in slices of a few milliseconds, so a search through a million
// frames never freezes the window; a new search replaces one running.
class FindBar final : public QWidget {
    Q_OBJECT
public:
    FindBar(FrameTableModel& frames, std::function<int()> currentRow, QWidget* parent = nullptr);

    enum class Mode { Expression, Text };
    void setMode(Mode mode);
    void setText(const QString& text);
    // Starts a search; its end is announced by found() or notFound().
    void findNext();
    void findPrevious();
    void open();
    [[nodiscard]] bool isSearching() const { return timer_.isActive(); }
    [[nodiscard]] QString message() const;

signals:
    void found(int row);
    void notFound();

private:
    void search(int direction);
    void slice();
    [[nodiscard]] filter::Verdict rowMatches(int row, std::string& why) const;
    // Where the capture the filter was made for is gone, the search is too.

    FrameTableModel& frames_;
    std::function<int()> currentRow_;
    QComboBox* mode_;
    QLineEdit* text_;
    ElidedLabel* message_;
    std::unique_ptr<CaptureFilter> filter_; // of an expression search
    QString needle_;
    int direction_ = 1;
    int next_ = 0;
    int left_ = 0; // rows still to look at
    QTimer timer_;
};
