#pragma once

#include "app/CallAudioJob.h"
#include "media/player/CallPlayer.h"

#include <QFutureWatcher>
#include <QWidget>

#include <memory>
#include <optional>

class FilePanels;
class QCheckBox;
class QComboBox;
class ElidedLabel;
class QLabel;
class QPushButton;
class WaveformView;

// The player of the selected call: Play and Pause, the timing (as sent, as
// arrived), muting either side, the waveform to seek on, and export as WAV.
// The audio is decoded on a worker thread from the call's job, so a long
// call never blocks the window; a newer call or timing supersedes it.
class PlayerView final : public QWidget {
    Q_OBJECT
public:
    explicit PlayerView(FilePanels& panels, QWidget* parent = nullptr);
    ~PlayerView() override;

    // The call to play from now on, named by `title`; nothing, with the
    // reason in `problem`, where there is none to play.
    void setCall(std::optional<CallAudioJob> job, const QString& title,
                 const QString& problem = {});
    void setTiming(media::Timing timing);
    [[nodiscard]] media::Timing timing() const;

    [[nodiscard]] CallPlayer& player() { return player_; }
    [[nodiscard]] WaveformView* waveform() const { return waveform_; }
    [[nodiscard]] QString statusText() const;
    // From the call's decoding asked for until its audio is taken here: the
    // worker may be done before the window has heard of it.
    [[nodiscard]] bool isDecoding() const { return decoding_; }
    [[nodiscard]] QPushButton* playButton() const { return playButton_; }

    void togglePlay();
    // Asks where to, then writes the audio as shown (its timing) to a new WAV file.
    void exportAudio();

signals:
    // The call's audio is decoded and ready to play (or failed, said in the status).
    void audioReady();

private:
    struct Rendered {
        std::shared_ptr<media::CallAudio> audio;
        QString error;
    };
    void decode();
    void decoded();
    void showPosition(std::uint64_t frame);
    void showReport();

    FilePanels& panels_;
    CallPlayer player_;
    std::shared_ptr<const CallAudioJob> job_;
    QString title_;
    QString status_;
    QFutureWatcher<Rendered> watcher_;
    bool decodeAgain_ = false; // the call or timing changed while decoding
    // Asked for while the audio was being decoded: done once it is.
    enum class AfterDecoding { Nothing, Play, Export };
    AfterDecoding afterDecoding_ = AfterDecoding::Nothing;
    bool decoding_ = false;
    double resumeSeconds_ = 0; // where to stand once the audio is decoded again
    WaveformView* waveform_;
    QPushButton* playButton_;
    QPushButton* exportButton_;
    QComboBox* timingChooser_;
    QCheckBox* mute_[2];
    ElidedLabel* titleLabel_;
    ElidedLabel* positionLabel_;
    QLabel* statusLabel_;
};
