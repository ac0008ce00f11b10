#include "media/player/CallPlayer.h"

#include "media/VoiceCodecs.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QMediaDevices>

#include <algorithm>
#include <cstring>

// The device pulls samples from here, with the muted channels silenced as
// they are read.
class CallPlayer::Source final : public QIODevice {
public:
    Source(const media::CallAudio& audio, const std::array<bool, 2>& muted, std::uint64_t frame,
           qint64& delivered)
        : audio_(audio), muted_(muted), frame_(frame), delivered_(delivered) {}

    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override {
        return static_cast<qint64>((audio_.frames() - std::min(frame_, audio_.frames())) * 4) +
               QIODevice::bytesAvailable();
    }

protected:
    qint64 readData(char* data, qint64 maxSize) override {
        const std::uint64_t left = audio_.frames() - std::min(frame_, audio_.frames());
        const std::uint64_t frames =
            std::min<std::uint64_t>(left, static_cast<std::uint64_t>(maxSize) / 4);
        auto* out = reinterpret_cast<std::int16_t*>(data);
        std::memcpy(out, audio_.samples.data() + frame_ * 2, frames * 4);
        for (std::size_t channel = 0; channel < 2; ++channel) {
            if (muted_[channel]) {
                for (std::uint64_t i = 0; i < frames; ++i) {
                    out[i * 2 + channel] = 0;
                }
            }
        }
        frame_ += frames;
        delivered_ += static_cast<qint64>(frames * 4);
        return static_cast<qint64>(frames * 4);
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    const media::CallAudio& audio_;
    const std::array<bool, 2>& muted_;
    std::uint64_t frame_;
    qint64& delivered_;
};

CallPlayer::CallPlayer(QObject* parent) : QObject(parent) {
    ticker_.setInterval(40);
    connect(&ticker_, &QTimer::timeout, this, [this] { emit positionChanged(position()); });
}

CallPlayer::~CallPlayer() {
    stopSink();
}

QString CallPlayer::noDeviceText() {
    return tr("No sound output was found on this machine, so the call cannot be played here. "
              "Export it as a WAV file to listen to it elsewhere.");
}

void CallPlayer::setAudio(std::shared_ptr<const media::CallAudio> audio) {
    stopSink();
    audio_ = std::move(audio);
    pausedFrame_ = 0;
    error_.clear();
    emit positionChanged(0);
}

bool CallPlayer::play() {
    error_.clear();
    if (!audio_ || audio_->frames() == 0) {
        error_ = tr("There is no audio to play.");
        return false;
    }
    if (playing_) {
        return true;
    }
    if (pausedFrame_ >= audio_->frames()) {
        pausedFrame_ = 0; // played to the end: again from the start
    }
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull()) {
        error_ = noDeviceText();
        return false;
    }
    QAudioFormat format;
    format.setSampleRate(media::sampleRate);
    format.setChannelCount(2);
    format.setSampleFormat(QAudioFormat::Int16);
    if (!device.isFormatSupported(format)) {
        error_ = tr("The sound output \"%1\" cannot play 8 kHz stereo 16-bit audio.")
                     .arg(device.description());
        return false;
    }
    sink_ = std::make_unique<QAudioSink>(device, format);
    // A short buffer: sound starts soon after Play, and pause and seek are heard at once.
    sink_->setBufferSize(media::sampleRate * 4 / 10); // 100 ms
    connect(sink_.get(), &QAudioSink::stateChanged, this, &CallPlayer::sinkStateChanged);
    startSink();
    if (sink_ && sink_->error() != QAudio::NoError) {
        error_ = tr("The sound output \"%1\" could not be opened.").arg(device.description());
        stopSink();
        return false;
    }
    return true;
}

void CallPlayer::startSink() {
    startFrame_ = pausedFrame_;
    delivered_ = 0;
    source_ = std::make_unique<Source>(*audio_, muted_, startFrame_, delivered_);
    source_->open(QIODevice::ReadOnly);
    sink_->start(source_.get());
    playing_ = true;
    ticker_.start();
    emit playingChanged(true);
}

void CallPlayer::stopSink() {
    const bool wasPlaying = playing_;
    if (playing_) {
        pausedFrame_ = position();
    }
    playing_ = false;
    ticker_.stop();
    if (sink_) {
        disconnect(sink_.get(), nullptr, this, nullptr);
        sink_->stop();
        sink_.reset();
    }
    source_.reset();
    if (wasPlaying) {
        emit playingChanged(false);
    }
}

void CallPlayer::pause() {
    stopSink();
    emit positionChanged(pausedFrame_);
}

void CallPlayer::stop() {
    stopSink();
    pausedFrame_ = 0;
    emit positionChanged(0);
}

void CallPlayer::seek(std::uint64_t frame) {
    const bool wasPlaying = playing_;
    stopSink();
    pausedFrame_ = audio_ ? std::min(frame, audio_->frames()) : 0;
    if (wasPlaying) {
        play();
    }
    emit positionChanged(pausedFrame_);
}

void CallPlayer::setMuted(int channel, bool muted) {
    muted_[static_cast<std::size_t>(channel)] = muted;
}

std::uint64_t CallPlayer::position() const {
    if (!playing_ || !sink_) {
        return pausedFrame_;
    }
    const auto played =
        static_cast<std::uint64_t>(sink_->processedUSecs() * media::sampleRate / 1'000'000);
    return std::min(startFrame_ + played, audio_->frames());
}

void CallPlayer::sinkStateChanged() {
    if (!sink_) {
        return;
    }
    // The source has given everything and the device has played it.
    if (sink_->state() == QAudio::IdleState && source_ && source_->bytesAvailable() == 0) {
        stopSink();
        pausedFrame_ = audio_->frames();
        emit positionChanged(pausedFrame_);
        emit finished();
    } else if (sink_->state() == QAudio::StoppedState && sink_->error() != QAudio::NoError) {
        error_ = tr("The sound output stopped with an error.");
        stopSink();
    }
}
