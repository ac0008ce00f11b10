#include "ui/CallFlowView.h"

#include <QContextMenuEvent>
#include <QImage>
#include <QMenu>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>
#include <QSvgGenerator>

namespace {

constexpr int margin = 24;
constexpr int mostNotesWidth = 240;

} // namespace

CallFlowView::CallFlowView(QWidget* parent) : QAbstractScrollArea(parent) {
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setBackgroundRole(QPalette::Base);
}

int CallFlowView::rowHeight() const {
    return fontMetrics().height() + 10;
}

QColor CallFlowView::callColour(std::uint32_t call) {
    // Hues far apart, dark enough to read on white.
    static const QColor colours[] = {QColor(0x1f, 0x5f, 0xbf), QColor(0xc0, 0x39, 0x2b),
                                     QColor(0x1e, 0x84, 0x49), QColor(0x8e, 0x44, 0xad),
                                     QColor(0xd3, 0x6b, 0x00), QColor(0x16, 0x8a, 0x8a),
                                     QColor(0x7f, 0x5a, 0x3c), QColor(0xb0, 0x2e, 0x7c)};
    return colours[call % std::size(colours)];
}

void CallFlowView::setTimeText(TimeText text, const QString& widest) {
    timeText_ = std::move(text);
    timeWidth_ = std::max(60, fontMetrics().horizontalAdvance(widest) + 8);
    viewport()->update();
}

QString CallFlowView::timeTextOf(int row) const {
    const calls::FlowStep& step = steps_[static_cast<std::size_t>(row)];
    const calls::FlowStep* previous =
        row > 0 ? &steps_[static_cast<std::size_t>(row - 1)] : nullptr;
    return timeText_ ? timeText_(step, previous) : QString::number(step.seconds, 'f', 3);
}

void CallFlowView::setNotes(std::function<QString(quint32)> noteOf) {
    noteOf_ = std::move(noteOf);
    refreshNotes();
}

void CallFlowView::refreshNotes() {
    int widest = 0;
    if (noteOf_) {
        for (const auto& step : steps_) {
            if (const QString note = noteOf_(step.frameNumber); !note.isEmpty()) {
                widest = std::max(widest, fontMetrics().horizontalAdvance(note) + 16);
            }
        }
    }
    notesWidth_ = std::min(widest, mostNotesWidth);
    viewport()->update();
}

void CallFlowView::setFlow(QStringList columns, std::vector<calls::FlowStep> steps,
                           QStringList callLabels) {
    columns_ = std::move(columns);
    steps_ = std::move(steps);
    callLabels_ = callLabels.size() > 1 ? std::move(callLabels) : QStringList();
    labelWidth_ = 0;
    for (const QString& label : callLabels_) {
        labelWidth_ = std::max(labelWidth_, fontMetrics().horizontalAdvance(label) + 12);
    }
    current_ = -1;
    refreshNotes();
    verticalScrollBar()->setValue(0);
    updateScrollRange();
    viewport()->update();
}

void CallFlowView::setCurrentStep(int step) {
    if (step < 0 || step >= stepCount()) {
        return;
    }
    current_ = step;
    // Keep it in view.
    const int top = step * rowHeight();
    const int visible = viewport()->height() - headerHeight();
    if (top < verticalScrollBar()->value()) {
        verticalScrollBar()->setValue(top);
    } else if (top + rowHeight() > verticalScrollBar()->value() + visible) {
        verticalScrollBar()->setValue(top + rowHeight() - visible);
    }
    viewport()->update();
    emit frameActivated(steps_[static_cast<std::size_t>(step)].frameNumber);
}

void CallFlowView::updateScrollRange() {
    const int content = stepCount() * rowHeight();
    const int visible = viewport()->height() - headerHeight();
    verticalScrollBar()->setRange(0, std::max(0, content - visible));
    verticalScrollBar()->setPageStep(visible);
    verticalScrollBar()->setSingleStep(rowHeight());
}

void CallFlowView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    updateScrollRange();
}

int CallFlowView::columnX(int column, int width) const {
    const int left = linesLeft() + margin;
    const int right = linesRight(width) - margin;
    const int gaps = std::max(1, static_cast<int>(columns_.size()) - 1);
    return left + (right - left) * column / gaps;
}

void CallFlowView::paintHeader(QPainter& painter, int width) const {
    painter.setPen(palette().color(QPalette::Text));
    QFont bold = painter.font();
    bold.setBold(true);
    painter.setFont(bold);
    // Over their lifelines, kept inside the picture.
    const int count = static_cast<int>(columns_.size());
    for (int column = 0; column < count; ++column) {
        const int x = columnX(column, width);
        const int textWidth =
            count > 1 ? (linesRight(width) - linesLeft()) / count : linesRight(width);
        const Qt::Alignment align = column == 0           ? Qt::AlignLeft
                                    : column == count - 1 ? Qt::AlignRight
                                                          : Qt::AlignHCenter;
        const int start = column == 0           ? linesLeft()
                          : column == count - 1 ? linesRight(width) - textWidth - 4
                                                : x - textWidth / 2;
        painter.drawText(QRect(start, 0, textWidth, headerHeight()), align | Qt::AlignVCenter,
                         columns_[column]);
    }
    painter.setFont(font());
}

void CallFlowView::paintRows(QPainter& painter, int first, int last, int top, int width) const {
    const int height = rowHeight();
    const QColor text = palette().color(QPalette::Text);
    // The ends' lifelines.
    painter.setPen(QPen(palette().color(QPalette::Mid), 1));
    for (int column = 0; column < static_cast<int>(columns_.size()); ++column) {
        const int x = columnX(column, width);
        painter.drawLine(x, top, x, top + (last - first) * height);
    }
    for (int row = first; row < last; ++row) {
        const auto& step = steps_[static_cast<std::size_t>(row)];
        const int y = top + (row - first) * height;
        if (row == current_) {
            painter.fillRect(QRect(0, y, width, height), palette().color(QPalette::Highlight));
        }
        const bool selected = row == current_;
        const QColor plain = selected ? palette().color(QPalette::HighlightedText) : text;
        // Several calls: each its colour, its label beside the time.
        const QColor ink = callLabels_.isEmpty() || selected ? plain : callColour(step.call);
        painter.setPen(plain);
        painter.drawText(QRect(4, y, timeWidth_ - 4, height), Qt::AlignRight | Qt::AlignVCenter,
                         timeTextOf(row));
        if (!callLabels_.isEmpty()) {
            painter.setPen(ink);
            painter.drawText(QRect(labelsLeft(), y, labelWidth_, height),
                             Qt::AlignLeft | Qt::AlignVCenter,
                             callLabels_.value(static_cast<int>(step.call)));
        }
        if (notesWidth_ > 0) {
            if (const QString note = noteOf_(step.frameNumber); !note.isEmpty()) {
                QFont italic = painter.font();
                italic.setItalic(true);
                painter.setFont(italic);
                painter.setPen(plain);
                painter.drawText(
                    QRect(linesRight(width) + 8, y, notesWidth_ - 8, height),
                    Qt::AlignLeft | Qt::AlignVCenter,
                    fontMetrics().elidedText(note.simplified(), Qt::ElideRight, notesWidth_ - 8));
                painter.setFont(font());
            }
        }
        const int middle = y + height - 5;
        const int from = columnX(step.from, width);
        const int to = columnX(step.to, width);
        if (step.mark) {
            // A digit heard in the sender's voice: a diamond on its line.
            const QColor tone(0xB0, 0x40, 0x90);
            QPainterPath diamond;
            diamond.moveTo(from, middle - 6);
            diamond.lineTo(from + 6, middle);
            diamond.lineTo(from, middle + 6);
            diamond.lineTo(from - 6, middle);
            diamond.closeSubpath();
            painter.fillPath(diamond, tone);
            painter.setPen(row == current_ ? ink : tone);
            painter.drawText(QRect(std::min(from, to), y, std::abs(to - from), height - 6),
                             Qt::AlignCenter, QString::fromStdString(step.label));
            continue;
        }
        const QColor band = callLabels_.isEmpty() || selected ? QColor(0, 128, 64) : ink;
        QPen shaft(step.voiceBand ? band : ink, step.voiceBand ? 4 : callLabels_.isEmpty() ? 1 : 2);
        if (step.resent) {
            shaft.setStyle(Qt::DashLine); // a retransmission
        }
        painter.setPen(shaft);
        painter.drawLine(from, middle, to, middle);
        const int head = to > from ? -8 : 8;
        QPainterPath point;
        point.moveTo(to, middle);
        point.lineTo(to + head, middle - 4);
        point.lineTo(to + head, middle + 4);
        point.closeSubpath();
        painter.fillPath(point, shaft.color());
        painter.setPen(ink);
        painter.drawText(QRect(std::min(from, to), y, std::abs(to - from), height - 6),
                         Qt::AlignCenter, QString::fromStdString(step.label));
    }
}

void CallFlowView::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    painter.setRenderHint(QPainter::Antialiasing);
    const int height = rowHeight();
    const int scroll = verticalScrollBar()->value();
    const int first = scroll / height;
    const int last = std::min(stepCount(), first + viewport()->height() / height + 2);
    painter.setClipRect(QRect(0, headerHeight(), viewport()->width(), viewport()->height()));
    paintRows(painter, first, last, headerHeight() + first * height - scroll, viewport()->width());
    painter.setClipping(false);
    painter.fillRect(QRect(0, 0, viewport()->width(), headerHeight()),
                     palette().color(QPalette::Base));
    paintHeader(painter, viewport()->width());
}

int CallFlowView::stepAt(int y) const {
    const int inRows = y - headerHeight();
    if (inRows < 0) {
        return -1;
    }
    const int row = (inRows + verticalScrollBar()->value()) / rowHeight();
    return row < stepCount() ? row : -1;
}

void CallFlowView::mousePressEvent(QMouseEvent* event) {
    if (const int row = stepAt(static_cast<int>(event->position().y())); row >= 0) {
        setCurrentStep(row);
    }
}

void CallFlowView::contextMenuEvent(QContextMenuEvent* event) {
    // The row's comment, then what the view's own actions do (its exports).
    QMenu menu(this);
    if (const int row = stepAt(event->pos().y()); row >= 0) {
        setCurrentStep(row);
        const quint32 frame = steps_[static_cast<std::size_t>(row)].frameNumber;
        menu.addAction(tr("Packet &Comment..."), this,
                       [this, frame] { emit commentRequested(frame); });
        menu.addSeparator();
    }
    menu.addActions(actions());
    menu.exec(event->globalPos());
}

void CallFlowView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Down || event->key() == Qt::Key_Right) {
        setCurrentStep(current_ + 1);
    } else if (event->key() == Qt::Key_Up || event->key() == Qt::Key_Left) {
        setCurrentStep(std::max(0, current_ - 1));
    } else {
        QAbstractScrollArea::keyPressEvent(event);
    }
}

bool CallFlowView::exportPng(const QString& path) const {
    const int width = std::max(640, viewport()->width());
    QImage image(width, headerHeight() + stepCount() * rowHeight(), QImage::Format_RGB32);
    image.fill(palette().color(QPalette::Base));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    paintHeader(painter, width);
    paintRows(painter, 0, stepCount(), headerHeight(), width);
    painter.end();
    return image.save(path, "PNG");
}

bool CallFlowView::exportSvg(const QString& path) const {
    const int width = std::max(640, viewport()->width());
    const int height = headerHeight() + stepCount() * rowHeight();
    QSvgGenerator svg;
    svg.setFileName(path);
    svg.setSize(QSize(width, height));
    svg.setViewBox(QRect(0, 0, width, height));
    svg.setTitle(columns_.join(" - "));
    QPainter painter;
    if (!painter.begin(&svg)) {
        return false;
    }
    paintHeader(painter, width);
    paintRows(painter, 0, stepCount(), headerHeight(), width);
    return painter.end();
}
