#pragma once

#include "calls/CallFlow.h"

#include <QAbstractScrollArea>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

class QPainter;

// A call's ladder: a column per end, an arrow per full frame with its time
// and name, a band per direction for the voice. Only the rows in view are
// painted, so a call of 100,000 frames scrolls as smoothly as one of ten.
// Clicking an arrow or moving with the arrow keys makes it current and
// announces its frame. Several calls' ladders tell their calls apart by
// colour and by a label column; a frame's comment shows at the right.
class CallFlowView final : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit CallFlowView(QWidget* parent = nullptr);

    // `columns` name the ends, left to right; each step goes between two of
    // them. `callLabels` name the calls of a several calls' ladder (by
    // FlowStep::call); with one or none, the ladder is drawn in one colour.
    void setFlow(QStringList columns, std::vector<calls::FlowStep> steps,
                 QStringList callLabels = {});
    void clear() { setFlow({}, {}); }
    [[nodiscard]] int stepCount() const { return static_cast<int>(steps_.size()); }
    [[nodiscard]] int currentStep() const { return current_; }
    void setCurrentStep(int step);
    [[nodiscard]] const calls::FlowStep& step(int row) const {
        return steps_[static_cast<std::size_t>(row)];
    }

    // The time column's text of a step (given the one before it, if any);
    // `widest` sizes the column. By default the seconds since the first step.
    using TimeText = std::function<QString(const calls::FlowStep&, const calls::FlowStep*)>;
    void setTimeText(TimeText text, const QString& widest);
    [[nodiscard]] QString timeTextOf(int row) const;
    // The comment written on a frame, empty for none; asked again by refreshNotes().
    void setNotes(std::function<QString(quint32)> noteOf);
    void refreshNotes();
    // The colour call `call` of a several calls' ladder is drawn in.
    [[nodiscard]] static QColor callColour(std::uint32_t call);

    // The whole ladder as a picture: PNG, or SVG through Qt SVG.
    bool exportPng(const QString& path) const;
    bool exportSvg(const QString& path) const;

signals:
    // The frame (1-based position in the capture's list) of the current arrow.
    void frameActivated(quint32 frameNumber);
    // The row's context menu asked to comment its frame.
    void commentRequested(quint32 frameNumber);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    [[nodiscard]] int rowHeight() const;
    [[nodiscard]] int headerHeight() const { return rowHeight() + 8; }
    // Paints rows [first, last) with row `first` at `top`, `width` wide.
    void paintRows(QPainter& painter, int first, int last, int top, int width) const;
    void paintHeader(QPainter& painter, int width) const;
    void updateScrollRange();

    [[nodiscard]] int columnX(int column, int width) const;
    [[nodiscard]] int labelsLeft() const { return timeWidth_ + 8; }
    [[nodiscard]] int linesLeft() const { return labelsLeft() + labelWidth_; }
    [[nodiscard]] int linesRight(int width) const { return width - notesWidth_; }
    [[nodiscard]] int stepAt(int y) const; // -1 where no row is

    QStringList columns_;
    std::vector<calls::FlowStep> steps_;
    QStringList callLabels_;
    int current_ = -1;
    TimeText timeText_;
    std::function<QString(quint32)> noteOf_;
    int timeWidth_ = 80;
    int labelWidth_ = 0; // the call label column, with several calls
    int notesWidth_ = 0; // the comments column, where a frame has one
};
