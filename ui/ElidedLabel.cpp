#include "ui/ElidedLabel.h"

#include <QResizeEvent>

ElidedLabel::ElidedLabel(QWidget* parent) : QLabel(parent) {
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    setTextFormat(Qt::PlainText);
}

void ElidedLabel::setText(const QString& text) {
    whole_ = text;
    elide();
}

QSize ElidedLabel::minimumSizeHint() const {
    return {fontMetrics().horizontalAdvance(QStringLiteral("W\u2026")), QLabel::minimumSizeHint().height()};
}

QSize ElidedLabel::sizeHint() const {
    // As wide as a short text: the layout gives it the room there is.
    return {std::min(fontMetrics().horizontalAdvance(whole_), 40 * fontMetrics().averageCharWidth()),
            QLabel::sizeHint().height()};
}

void ElidedLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    elide();
}

void ElidedLabel::elide() {
    // One line: a line break in a message would make the label taller too.
    QString line = whole_;
    line.replace('\n', ' ');
    const QString shown = fontMetrics().elidedText(line, Qt::ElideRight, std::max(width(), 1));
    QLabel::setText(shown);
    setToolTip(shown != line ? whole_ : QString());
}
