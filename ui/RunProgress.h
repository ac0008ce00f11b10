#pragma once

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <cstdint>

class KvIAXCapture;
class ElidedLabel;
class QLabel;
class QProgressBar;
class QPushButton;

// How far the selected capture's run is, in the status bar: a file load's
// frames read and share of the file, with Cancel (Esc); a live run's frames
// and their rate. Hidden when nothing runs.
class RunProgress final : public QWidget {
    Q_OBJECT
public:
    explicit RunProgress(QWidget* parent = nullptr);
    void setCapture(KvIAXCapture* capture);
    [[nodiscard]] QString text() const;
    [[nodiscard]] QPushButton* cancelButton() const { return cancel_; }

private:
    void update();

    QPointer<KvIAXCapture> capture_;
    QProgressBar* bar_;
    ElidedLabel* label_;
    QPushButton* cancel_;
    QTimer timer_;
    std::size_t lastFrames_ = 0;
    double rate_ = 0; // frames a second, smoothed
};
