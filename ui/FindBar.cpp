#include "ui/FindBar.h"
#include "ui/ElidedLabel.h"

#include "app/KvIAXCapture.h"
#include "ui/FrameTableModel.h"

#include <QApplication>
#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>

namespace {
constexpr qint64 sliceMs = 15;
} // namespace

FindBar::FindBar(FrameTableModel& frames, std::function<int()> currentRow, QWidget* parent)
    : QWidget(parent), frames_(frames), currentRow_(std::move(currentRow)) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new QLabel(tr("Find:"), this));
    mode_ = new QComboBox(this);
    mode_->addItem(tr("Display filter"));
    mode_->addItem(tr("Text"));
    layout->addWidget(mode_);
    text_ = new QLineEdit(this);
    text_->setClearButtonEnabled(true);
    text_->setPlaceholderText(
        tr("an expression, or a text in any column (Enter: next, Shift+Enter: previous)"));
    layout->addWidget(text_, 1);
    auto* previous = new QPushButton(tr("Previous"), this);
    auto* next = new QPushButton(tr("Next"), this);
    auto* close = new QPushButton(tr("Close"), this);
    layout->addWidget(previous);
    layout->addWidget(next);
    message_ = new ElidedLabel(this);
    layout->addWidget(message_);
    layout->addWidget(close);
    connect(next, &QPushButton::clicked, this, &FindBar::findNext);
    connect(previous, &QPushButton::clicked, this, &FindBar::findPrevious);
    connect(close, &QPushButton::clicked, this, [this] {
        timer_.stop();
        hide();
    });
    connect(text_, &QLineEdit::returnPressed, this, [this] {
        (QApplication::keyboardModifiers() & Qt::ShiftModifier) != 0 ? findPrevious() : findNext();
    });
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this, nullptr, nullptr,
                                 Qt::WidgetWithChildrenShortcut);
    connect(escape, &QShortcut::activated, close, &QPushButton::click);
    timer_.setSingleShot(true);
    timer_.setInterval(0);
    connect(&timer_, &QTimer::timeout, this, &FindBar::slice);
}

void FindBar::setMode(Mode mode) {
    mode_->setCurrentIndex(mode == Mode::Expression ? 0 : 1);
}

void FindBar::setText(const QString& text) {
    text_->setText(text);
}

void FindBar::open() {
    show();
    text_->setFocus();
    text_->selectAll();
}

QString FindBar::message() const {
    return message_->text();
}

void FindBar::findNext() {
    search(1);
}

void FindBar::findPrevious() {
    search(-1);
}

void FindBar::search(int direction) {
    timer_.stop();
    const QString text = text_->text();
    if (text.isEmpty()) {
        return;
    }
    filter_.reset();
    if (mode_->currentIndex() == 0) {
        std::string error;
        auto compiled = filter::DisplayFilter::compile(text.toStdString(), error);
        const KvIAXCapture* capture = frames_.capture();
        if (compiled && capture != nullptr) {
            filter_ = std::make_unique<CaptureFilter>(*capture, std::move(*compiled));
            if (!filter_->open(error)) {
                filter_.reset();
            }
            // The calls as the capture knows them as the search begins.
            if (filter_) {
                filter_->refresh();
            }
        }
        if (!filter_) {
            message_->setText(QString::fromStdString(error));
            QApplication::beep();
            emit notFound();
            return;
        }
    }
    needle_ = text;
    direction_ = direction;
    const int rows = frames_.rowCount();
    const int current = currentRow_();
    next_ = current < 0 ? (direction > 0 ? 0 : rows - 1) : current + direction;
    left_ = rows - (current < 0 ? 0 : 1);
    message_->setText(tr("Searching..."));
    slice();
}

filter::Verdict FindBar::rowMatches(int row, std::string& why) const {
    const auto frame = frames_.frameAt(row);
    if (!frame) {
        return filter::Verdict::NoMatch;
    }
    if (filter_) {
        return filter_->test(frames_.frameNumberAt(row), why);
    }
    for (int column = 0; column < frames_.columnCount(); ++column) {
        if (frames_.index(row, column).data().toString().contains(needle_, Qt::CaseInsensitive)) {
            return filter::Verdict::Match;
        }
    }
    return filter::Verdict::NoMatch;
}

void FindBar::slice() {
    QElapsedTimer clock;
    clock.start();
    const int rows = frames_.rowCount();
    while (left_ > 0 && rows > 0) {
        next_ = (next_ % rows + rows) % rows; // wraps either way
        std::string why;
        const auto verdict = rowMatches(next_, why);
        if (verdict == filter::Verdict::Match) {
            message_->clear();
            emit found(next_);
            return;
        }
        if (verdict == filter::Verdict::Failed) {
            message_->setText(QString::fromStdString(why));
            QApplication::beep();
            emit notFound();
            return;
        }
        next_ += direction_;
        --left_;
        if ((left_ & 15) == 0 && clock.elapsed() >= sliceMs) {
            timer_.start();
            return;
        }
    }
    message_->setText(tr("Not found"));
    QApplication::beep();
    emit notFound();
}
