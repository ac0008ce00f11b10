#pragma once

#include "analysis/CallFlow.h"

#include <QAbstractScrollArea>
#include <QString>
#include <QStringList>

#include <vector>

class QPainter;

// A call's ladder: a column per end, an arrow per full frame with its time
// and name, a band per direction for the voice. Only the rows in view are
// painted, so a call of 100,000 frames scrolls as smoothly as one of ten.
// Clicking an arrow or moving with the arrow keys makes it current and
// announces its frame.
class CallFlowView final : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit CallFlowView(QWidget* parent = nullptr);

    // `columns` name the ends, left to right; each step goes between two of them.
    void setFlow(QStringList columns, std::vector<analysis::FlowStep> steps);
    void clear() { setFlow({}, {}); }
    [[nodiscard]] int stepCount() const { return static_cast<int>(steps_.size()); }
    [[nodiscard]] int currentStep() const { return current_; }
    void setCurrentStep(int step);

    // The whole ladder as a picture: PNG, or SVG through Qt SVG.
    bool exportPng(const QString& path) const;
    bool exportSvg(const QString& path) const;

signals:
    // The frame (1-based position in the capture's list) of the current arrow.
    void frameActivated(quint32 frameNumber);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    [[nodiscard]] int rowHeight() const;
    [[nodiscard]] int headerHeight() const { return rowHeight() + 8; }
    // Paints rows [first, last) with row `first` at `top`, `width` wide.
    void paintRows(QPainter& painter, int first, int last, int top, int width) const;
    void paintHeader(QPainter& painter, int width) const;
    void updateScrollRange();

    [[nodiscard]] int columnX(int column, int width) const;

    QStringList columns_;
    std::vector<analysis::FlowStep> steps_;
    int current_ = -1;
};
