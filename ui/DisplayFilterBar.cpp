#include "ui/DisplayFilterBar.h"

#include <QApplication>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>

namespace {
constexpr int recentCount = 20;
const char* const recentKey = "filter/recent";
} // namespace

DisplayFilterBar::DisplayFilterBar(QWidget* parent) : QWidget(parent) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* label = new QLabel(tr("Display filter:"), this);
    layout->addWidget(label);
    expression_ = new QComboBox(this);
    expression_->setEditable(true);
    expression_->setInsertPolicy(QComboBox::NoInsert);
    expression_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    expression_->lineEdit()->setClearButtonEnabled(true);
    expression_->lineEdit()->setPlaceholderText(
        tr("e.g. iax2.src_call == 4 && ip.addr == 10.0.0.0/8   (Enter applies)"));
    expression_->addItems(QSettings().value(recentKey).toStringList());
    expression_->setCurrentIndex(-1);
    label->setBuddy(expression_);
    layout->addWidget(expression_, 1);
    applyButton_ = new QPushButton(tr("Apply"), this);
    layout->addWidget(applyButton_);

    connect(expression_->lineEdit(), &QLineEdit::textChanged, this, &DisplayFilterBar::check);
    connect(expression_->lineEdit(), &QLineEdit::returnPressed, this, &DisplayFilterBar::apply);
    connect(applyButton_, &QPushButton::clicked, this, &DisplayFilterBar::apply);
    // A chosen recent filter, or the clear button, applies at once.
    connect(expression_, &QComboBox::activated, this, [this] {
        if (text().trimmed() != lastApplied_) {
            apply();
        }
    });
    connect(expression_->lineEdit(), &QLineEdit::textEdited, this, [this](const QString& text) {
        if (text.isEmpty()) {
            apply();
        }
    });
    check({});
}

QString DisplayFilterBar::text() const {
    return expression_->currentText();
}

QStringList DisplayFilterBar::recent() const {
    QStringList items;
    for (int i = 0; i < expression_->count(); ++i) {
        items << expression_->itemText(i);
    }
    return items;
}

void DisplayFilterBar::focusExpression() {
    expression_->setFocus();
    expression_->lineEdit()->selectAll();
}

void DisplayFilterBar::prepare(const QString& expression) {
    expression_->setCurrentText(expression);
    focusExpression();
}

void DisplayFilterBar::check(const QString& text) {
    QString color;
    if (text.trimmed().isEmpty()) {
        valid_ = true;
        error_.clear();
    } else {
        std::string error;
        valid_ = filter::DisplayFilter::compile(text.toStdString(), error).has_value();
        error_ = QString::fromStdString(error);
        color = valid_ ? QStringLiteral("#d4f5cc") : QStringLiteral("#f8d0d0");
    }
    expression_->lineEdit()->setStyleSheet(
        color.isEmpty() ? QString()
                        : QStringLiteral("QLineEdit { background: %1; color: black; }").arg(color));
    expression_->setToolTip(valid_ ? QString() : error_);
    expression_->lineEdit()->setToolTip(valid_ ? QString() : error_);
}

bool DisplayFilterBar::apply() {
    const QString text = this->text().trimmed();
    if (text.isEmpty()) {
        lastApplied_.clear();
        emit applied(std::nullopt);
        return true;
    }
    std::string error;
    auto compiled = filter::DisplayFilter::compile(text.toStdString(), error);
    if (!compiled) {
        check(text);
        QApplication::beep();
        return false;
    }
    remember(text);
    lastApplied_ = text;
    emit applied(compiled);
    return true;
}

void DisplayFilterBar::remember(const QString& text) {
    QStringList items = recent();
    items.removeAll(text);
    items.prepend(text);
    while (items.size() > recentCount) {
        items.removeLast();
    }
    QSettings().setValue(recentKey, items);
    const QSignalBlocker blocker(expression_);
    expression_->clear();
    expression_->addItems(items);
    expression_->setCurrentIndex(0);
}
