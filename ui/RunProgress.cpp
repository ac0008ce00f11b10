#include "ui/RunProgress.h"
#include "ui/ElidedLabel.h"

#include "app/KvIAXCapture.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>

namespace {

constexpr int intervalMs = 250;

} // namespace

RunProgress::RunProgress(QWidget* parent)
    : QWidget(parent), bar_(new QProgressBar(this)), label_(new ElidedLabel(this)),
      cancel_(new QPushButton(tr("Cancel"), this)) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(label_);
    layout->addWidget(bar_);
    layout->addWidget(cancel_);
    bar_->setRange(0, 1000);
    bar_->setTextVisible(false);
    bar_->setMaximumWidth(160);
    cancel_->setShortcut(QKeySequence(Qt::Key_Escape));
    cancel_->setToolTip(tr("Stop loading the file (Esc): the frames read so far stay"));
    connect(cancel_, &QPushButton::clicked, this, [this] {
        if (capture_ != nullptr && capture_->isLoading()) {
            capture_->cancel();
        }
    });
    connect(&timer_, &QTimer::timeout, this, &RunProgress::update);
    timer_.start(intervalMs);
    hide();
}

void RunProgress::setCapture(KvIAXCapture* capture) {
    capture_ = capture;
    lastFrames_ = capture != nullptr ? capture->iaxFrames().size() : 0;
    rate_ = 0;
    update();
}

QString RunProgress::text() const {
    return isVisible() ? label_->text() : QString();
}

void RunProgress::update() {
    const bool loading = capture_ != nullptr && capture_->isLoading();
    const bool live = capture_ != nullptr && capture_->isLiveRunning();
    setVisible(loading || live);
    if (!loading && !live) {
        return;
    }
    const std::size_t frames = capture_->iaxFrames().size();
    const QLocale locale;
    if (loading) {
        const double share = capture_->loadedShare().value_or(0);
        bar_->setVisible(capture_->loadedShare().has_value());
        bar_->setValue(static_cast<int>(share * 1000));
        label_->setText(
            capture_->loadedShare()
                ? tr("loading: %1 frames, %2 %")
                      .arg(locale.toString(static_cast<qulonglong>(frames)))
                      .arg(static_cast<int>(share * 100))
                : tr("loading: %1 frames").arg(locale.toString(static_cast<qulonglong>(frames))));
        cancel_->show();
    } else {
        // The rate over the last intervals, so that one busy moment does not jump it.
        const double now =
            static_cast<double>(frames - std::min(frames, lastFrames_)) * 1000.0 / intervalMs;
        rate_ = rate_ == 0 ? now : 0.7 * rate_ + 0.3 * now;
        bar_->hide();
        cancel_->hide();
        label_->setText(tr("capturing: %1 frames, %2 frames/s")
                            .arg(locale.toString(static_cast<qulonglong>(frames)))
                            .arg(locale.toString(rate_, 'f', 0)));
    }
    lastFrames_ = frames;
}
