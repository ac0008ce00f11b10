#pragma once

#include "filter/DisplayFilter.h"

#include <QWidget>

#include <optional>

class QComboBox;
class QCompleter;
class QPushButton;

// The display filter bar above the frames: an expression in Wireshark's
// syntax, green while it compiles and red, with the reason as its tooltip,
// while it does not; applied with Enter or the Apply button, cleared with
// the clear button (all frames again). As a field's name is typed, the
// names that begin so are offered in a list. The last filters applied are
// remembered across runs and offered in its list.
class DisplayFilterBar final : public QWidget {
    Q_OBJECT
public:
    explicit DisplayFilterBar(QWidget* parent = nullptr);

    [[nodiscard]] QString text() const;
    // Puts an expression in the bar without applying it.
    void prepare(const QString& expression);
    // Applies what the bar holds: false (and a beep) where it does not compile.
    bool apply();
    [[nodiscard]] bool isValid() const { return valid_; }
    [[nodiscard]] const QString& error() const { return error_; }
    [[nodiscard]] QStringList recent() const;
    void focusExpression();
    // The names offered for what is typed at the cursor.
    [[nodiscard]] QStringList completions() const;

signals:
    // The filter now applied; nothing for none.
    void applied(const std::optional<filter::DisplayFilter>& filter);
    // An expression that does not compile was to be applied: why not.
    void rejected(const QString& error);

private:
    void check(const QString& text);
    void offerNames();
    void complete(const QString& name);
    void remember(const QString& text);

    QComboBox* expression_;
    QPushButton* applyButton_;
    QCompleter* names_;
    QString lastApplied_;
    bool valid_ = true;
    QString error_;
};
