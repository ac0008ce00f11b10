#include "ui/WaveformView.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace {

constexpr int margin = 4;

QColor markColor(media::AudioMark::Kind kind) {
    switch (kind) {
    case media::AudioMark::Kind::Lost:
        return {0xD0, 0x20, 0x20};
    case media::AudioMark::Kind::Rejected:
        return {0xE0, 0x80, 0x00};
    case media::AudioMark::Kind::CutByCapture:
        return {0x80, 0x80, 0x80};
    }
    return Qt::black;
}

} // namespace

WaveformView::WaveformView(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setMinimumHeight(80);
}

void WaveformView::setAudio(std::shared_ptr<const media::CallAudio> audio) {
    audio_ = std::move(audio);
    position_ = 0;
    makeEnvelope();
    update();
}

void WaveformView::setPosition(std::uint64_t frame) {
    if (frame != position_) {
        position_ = frame;
        update();
    }
}

void WaveformView::makeEnvelope() {
    envelope_.clear();
    const int width = std::max(1, this->width() - 2 * margin);
    if (!audio_ || audio_->frames() == 0) {
        return;
    }
    envelope_.resize(static_cast<std::size_t>(width), Column{{0, 0}, {0, 0}});
    const std::uint64_t frames = audio_->frames();
    for (int x = 0; x < width; ++x) {
        const std::uint64_t first =
            frames * static_cast<std::uint64_t>(x) / static_cast<std::uint64_t>(width);
        const std::uint64_t last = std::max(first + 1, frames * static_cast<std::uint64_t>(x + 1) /
                                                           static_cast<std::uint64_t>(width));
        Column& column = envelope_[static_cast<std::size_t>(x)];
        for (std::uint64_t frame = first; frame < last && frame < frames; ++frame) {
            for (std::size_t channel = 0; channel < 2; ++channel) {
                const std::int16_t sample = audio_->samples[frame * 2 + channel];
                column.low[channel] = std::min(column.low[channel], sample);
                column.high[channel] = std::max(column.high[channel], sample);
            }
        }
    }
}

std::uint64_t WaveformView::frameAt(int x) const {
    if (!audio_ || envelope_.empty()) {
        return 0;
    }
    const int clamped = std::clamp(x - margin, 0, static_cast<int>(envelope_.size()));
    return audio_->frames() * static_cast<std::uint64_t>(clamped) / envelope_.size();
}

int WaveformView::xOf(std::uint64_t frame) const {
    if (!audio_ || audio_->frames() == 0) {
        return margin;
    }
    return margin + static_cast<int>(frame * envelope_.size() / audio_->frames());
}

void WaveformView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().base());
    const int laneHeight = (height() - 2 * margin) / 2;
    // Scaled to the call's loudest sample, so that quiet voice still shows.
    int peak = 4096;
    for (const Column& column : envelope_) {
        for (std::size_t channel = 0; channel < 2; ++channel) {
            peak = std::max({peak, -static_cast<int>(column.low[channel]),
                             static_cast<int>(column.high[channel])});
        }
    }
    const QString names[2] = {tr("caller (left)"), tr("callee (right)")};
    for (int channel = 0; channel < 2; ++channel) {
        const int top = margin + channel * laneHeight;
        const int middle = top + laneHeight / 2;
        painter.setPen(palette().mid().color());
        painter.drawLine(margin, middle, width() - margin, middle);
        painter.setPen(QColor(0x20, 0x60, 0xB0));
        for (std::size_t x = 0; x < envelope_.size(); ++x) {
            const Column& column = envelope_[x];
            const int low = middle - column.low[channel] * (laneHeight / 2 - 1) / peak;
            const int high = middle - column.high[channel] * (laneHeight / 2 - 1) / peak;
            painter.drawLine(margin + static_cast<int>(x), low, margin + static_cast<int>(x), high);
        }
        painter.setPen(palette().text().color());
        painter.drawText(margin + 4, top + painter.fontMetrics().ascent() + 2, names[channel]);
        if (!audio_) {
            continue;
        }
        for (const media::AudioMark& mark : audio_->marks) {
            if (mark.channel == channel) {
                painter.setPen(QPen(markColor(mark.kind), 2));
                const int x = xOf(mark.sample);
                painter.drawLine(x, top + 2, x, top + laneHeight - 2);
            }
        }
    }
    if (audio_ && audio_->frames() > 0) {
        painter.setPen(QPen(palette().highlight().color(), 2));
        const int x = xOf(position_);
        painter.drawLine(x, margin, x, height() - margin);
    }
}

void WaveformView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && audio_) {
        emit seekRequested(frameAt(static_cast<int>(event->position().x())));
    }
}

void WaveformView::mouseMoveEvent(QMouseEvent* event) {
    if ((event->buttons() & Qt::LeftButton) != 0 && audio_) {
        emit seekRequested(frameAt(static_cast<int>(event->position().x())));
    }
}

void WaveformView::keyPressEvent(QKeyEvent* event) {
    if (!audio_ || (event->key() != Qt::Key_Left && event->key() != Qt::Key_Right)) {
        QWidget::keyPressEvent(event);
        return;
    }
    const std::uint64_t step = 5 * 8000;
    emit seekRequested(event->key() == Qt::Key_Left ? position_ - std::min(position_, step)
                                                    : std::min(audio_->frames(), position_ + step));
}

void WaveformView::resizeEvent(QResizeEvent*) {
    makeEnvelope();
}
