#pragma once

#include <QLabel>

// A one-line label whose text never sets the window's width: a long filter
// error, a file name or a field name is cut with an ellipsis to the room
// the layout gives, and shown whole in its tooltip. A label whose text
// comes from the capture or the user is one of these.
class ElidedLabel final : public QLabel {
    Q_OBJECT
public:
    explicit ElidedLabel(QWidget* parent = nullptr);

    void setText(const QString& text);
    void clear() { setText({}); }
    [[nodiscard]] QString text() const { return whole_; }
    [[nodiscard]] QSize minimumSizeHint() const override;
    [[nodiscard]] QSize sizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void elide();
    QString whole_;
};
