#include "ui/DisplayFilterBar.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QCompleter>
#include <QStringListModel>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>

namespace {
constexpr int recentCount = 20;
const char* const recentKey = "filter/recent";

// What can be named in an expression: every field, and the functions.
QStringList offeredNames() {
    QStringList names;
    for (const std::string& name : filter::fieldNames()) {
        names << QString::fromStdString(name);
    }
    names << "len("
          << "upper("
          << "lower("
          << "count(";
    names.sort();
    return names;
}

bool isNameCharacter(QChar c) {
    return c.isLetterOrNumber() || c == '.' || c == '_';
}

// Where the name being typed at `cursor` begins.
int nameStart(const QString& text, int cursor) {
    int start = cursor;
    while (start > 0 && isNameCharacter(text[start - 1])) {
        --start;
    }
    return start;
}

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
    // A long filter kept in the history must not widen the window.
    expression_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    expression_->setMinimumContentsLength(20);
    expression_->lineEdit()->setClearButtonEnabled(true);
    expression_->lineEdit()->setPlaceholderText(
        tr("e.g. iax2.src_call == 4 && ip.addr == 10.0.0.0/8   (Enter applies)"));
    expression_->addItems(QSettings().value(recentKey).toStringList());
    expression_->setCurrentIndex(-1);
    label->setBuddy(expression_);
    layout->addWidget(expression_, 1);
    applyButton_ = new QPushButton(tr("Apply"), this);
    layout->addWidget(applyButton_);
    // The recent filters are the box's list; field names are offered for
    // the word at the cursor, not the whole line.
    expression_->setCompleter(nullptr);
    names_ = new QCompleter(new QStringListModel(offeredNames(), this), this);
    names_->setCaseSensitivity(Qt::CaseInsensitive);
    names_->setWidget(expression_->lineEdit());
    names_->setCompletionMode(QCompleter::PopupCompletion);
    connect(names_, qOverload<const QString&>(&QCompleter::activated), this,
            &DisplayFilterBar::complete);
    connect(expression_->lineEdit(), &QLineEdit::textEdited, this, &DisplayFilterBar::offerNames);

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
        emit rejected(QString::fromStdString(error));
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

QStringList DisplayFilterBar::completions() const {
    QStringList shown;
    for (int row = 0; names_->setCurrentRow(row); ++row) {
        shown << names_->currentCompletion();
    }
    return shown;
}

void DisplayFilterBar::offerNames() {
    QLineEdit* line = expression_->lineEdit();
    const QString text = line->text();
    const int cursor = line->cursorPosition();
    const QString typed = text.mid(nameStart(text, cursor), cursor - nameStart(text, cursor));
    if (typed.size() < 2 || typed.front().isDigit()) {
        names_->popup()->hide();
        return;
    }
    names_->setCompletionPrefix(typed);
    if (names_->completionCount() == 0 ||
        (names_->completionCount() == 1 && names_->currentCompletion() == typed)) {
        names_->popup()->hide();
        return;
    }
    names_->complete();
}

void DisplayFilterBar::complete(const QString& name) {
    QLineEdit* line = expression_->lineEdit();
    const QString text = line->text();
    const int cursor = line->cursorPosition();
    const int start = nameStart(text, cursor);
    line->setText(text.left(start) + name + text.mid(cursor));
    line->setCursorPosition(start + static_cast<int>(name.size()));
}
