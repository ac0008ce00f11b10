#pragma once

#include "media/CallAudio.h"

#include <QIODevice>
#include <QObject>
#include <QString>
#include <QTimer>

#include <array>
#include <memory>

class QAudioSink;

// Plays a call's audio on the default sound output through Qt Multimedia,
// pulling the samples as the device asks for them, so that pause, seek and
// muting either side take effect at once. Lives on the main thread.
class CallPlayer final : public QObject {
    Q_OBJECT
public:
    explicit CallPlayer(QObject* parent = nullptr);
    ~CallPlayer() override;

    // What is played from now on; stops what was playing.
    void setAudio(std::shared_ptr<const media::CallAudio> audio);
    [[nodiscard]] const media::CallAudio* audio() const { return audio_.get(); }

    // Starts or resumes at position(). False, with error() saying why, where
    // there is no sound device or it refuses the audio; never waits for one.
    bool play();
    void pause();
    // Back to the start, not playing.
    void stop();
    // Goes on playing (or stays paused) from `frame` (a stereo sample pair).
    void seek(std::uint64_t frame);
    void setMuted(int channel, bool muted);
    [[nodiscard]] bool isMuted(int channel) const {
        return muted_[static_cast<std::size_t>(channel)];
    }

    // The frame being heard: what the device has played, not what it was given.
    [[nodiscard]] std::uint64_t position() const;
    [[nodiscard]] bool isPlaying() const { return playing_; }
    [[nodiscard]] const QString& error() const { return error_; }
    // How many sample bytes the device has pulled since the last play().
    [[nodiscard]] qint64 bytesDelivered() const { return delivered_; }

    // Said where the machine has no sound output.
    static QString noDeviceText();

signals:
    void positionChanged(quint64 frame);
    void playingChanged(bool playing);
    // The audio played to its end.
    void finished();

private:
    class Source;
    void startSink();
    void stopSink();
    void sinkStateChanged();

    std::shared_ptr<const media::CallAudio> audio_;
    std::unique_ptr<Source> source_;
    std::unique_ptr<QAudioSink> sink_;
    std::array<bool, 2> muted_{false, false};
    std::uint64_t startFrame_ = 0;  // where the sink started
    std::uint64_t pausedFrame_ = 0; // where a paused or stopped player stands
    qint64 delivered_ = 0;
    bool playing_ = false;
    QString error_;
    QTimer ticker_;
};
