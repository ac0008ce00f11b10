#pragma once

#include "media/CallAudio.h"

#include <QWidget>

#include <memory>
#include <vector>

// The waveform of a call's audio, the caller's lane above the callee's, with
// lost frames, refused payloads and payloads the capture cut marked where
// they fall, and the play position. Clicking or dragging seeks; the arrow
// keys seek by five seconds.
class WaveformView final : public QWidget {
    Q_OBJECT
public:
    explicit WaveformView(QWidget* parent = nullptr);

    void setAudio(std::shared_ptr<const media::CallAudio> audio);
    void setPosition(std::uint64_t frame);
    [[nodiscard]] std::uint64_t position() const { return position_; }
    QSize sizeHint() const override { return {600, 140}; }

signals:
    void seekRequested(quint64 frame);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // The lowest and highest sample of each pixel column, per channel.
    struct Column {
        std::int16_t low[2];
        std::int16_t high[2];
    };
    void makeEnvelope();
    [[nodiscard]] std::uint64_t frameAt(int x) const;
    [[nodiscard]] int xOf(std::uint64_t frame) const;

    std::shared_ptr<const media::CallAudio> audio_;
    std::vector<Column> envelope_;
    std::uint64_t position_ = 0;
};
