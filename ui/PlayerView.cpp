#include "ui/PlayerView.h"
#include "ui/ElidedLabel.h"

#include "media/WavFile.h"
#include "platform/FilePanels.h"
#include "ui/WaveformView.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QVBoxLayout>

#include <utility>
#include <QtConcurrent/QtConcurrentRun>

namespace {

QString clock(double seconds) {
    const auto tenths = static_cast<long long>(seconds * 10);
    return QStringLiteral("%1:%2.%3")
        .arg(tenths / 600)
        .arg(tenths / 10 % 60, 2, 10, QLatin1Char('0'))
        .arg(tenths % 10);
}

} // namespace

PlayerView::PlayerView(FilePanels& panels, QWidget* parent) : QWidget(parent), panels_(panels) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    auto* controls = new QHBoxLayout;
    playButton_ = new QPushButton(tr("Play"), this);
    playButton_->setToolTip(tr("Play or pause the selected call (Space on the waveform)"));
    controls->addWidget(playButton_);
    timingChooser_ = new QComboBox(this);
    timingChooser_->addItem(tr("As sent"), static_cast<int>(media::Timing::Sent));
    timingChooser_->addItem(tr("As arrived"), static_cast<int>(media::Timing::Arrived));
    timingChooser_->setToolTip(
        tr("As sent: every frame at its timestamp. As arrived: every frame "
           "at its capture time, as a receiver without a jitter buffer heard it."));
    controls->addWidget(timingChooser_);
    const QString sides[2] = {tr("Mute caller (left)"), tr("Mute callee (right)")};
    for (int side = 0; side < 2; ++side) {
        mute_[side] = new QCheckBox(sides[side], this);
        controls->addWidget(mute_[side]);
        connect(mute_[side], &QCheckBox::toggled, this, [this, side](bool muted) {
            player_.setMuted(side, muted);
            QSettings().setValue(QStringLiteral("player/mute%1").arg(side), muted);
        });
    }
    exportButton_ = new QPushButton(tr("Export WAV..."), this);
    controls->addWidget(exportButton_);
    positionLabel_ = new ElidedLabel(this);
    controls->addStretch(1);
    controls->addWidget(positionLabel_);
    layout->addLayout(controls);
    titleLabel_ = new ElidedLabel(this);
    layout->addWidget(titleLabel_);
    waveform_ = new WaveformView(this);
    layout->addWidget(waveform_, 1);
    statusLabel_ = new QLabel(this);
    statusLabel_->setWordWrap(true);
    // Wrapped to the room there is: a long word never widens the window.
    statusLabel_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    statusLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(statusLabel_);

    // The timing and the muting are remembered across runs.
    QSettings settings;
    timingChooser_->setCurrentIndex(settings.value("player/timing", 0).toInt() == 1 ? 1 : 0);
    for (int side = 0; side < 2; ++side) {
        mute_[side]->setChecked(
            settings.value(QStringLiteral("player/mute%1").arg(side), false).toBool());
    }
    connect(timingChooser_, &QComboBox::currentIndexChanged, this, [this](int index) {
        QSettings().setValue("player/timing", index);
        resumeSeconds_ = player_.audio() ? static_cast<double>(player_.position()) / 8000.0 : 0;
        decode();
    });
    connect(playButton_, &QPushButton::clicked, this, &PlayerView::togglePlay);
    connect(exportButton_, &QPushButton::clicked, this, &PlayerView::exportAudio);
    connect(waveform_, &WaveformView::seekRequested, this,
            [this](quint64 frame) { player_.seek(frame); });
    connect(&player_, &CallPlayer::positionChanged, this,
            [this](quint64 frame) { showPosition(frame); });
    connect(&player_, &CallPlayer::playingChanged, this,
            [this](bool playing) { playButton_->setText(playing ? tr("Pause") : tr("Play")); });
    connect(&watcher_, &QFutureWatcher<Rendered>::finished, this, &PlayerView::decoded);
    auto* space = new QAction(this);
    space->setShortcut(Qt::Key_Space);
    space->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(space, &QAction::triggered, this, &PlayerView::togglePlay);
    waveform_->addAction(space);
    setCall(std::nullopt, {}, tr("Select a call to play it."));
}

PlayerView::~PlayerView() {
    // The decoding shares nothing with the window; it is left to finish.
    disconnect(&watcher_, nullptr, this, nullptr);
}

media::Timing PlayerView::timing() const {
    return static_cast<media::Timing>(timingChooser_->currentData().toInt());
}

void PlayerView::setTiming(media::Timing timing) {
    timingChooser_->setCurrentIndex(timing == media::Timing::Sent ? 0 : 1);
}

QString PlayerView::statusText() const {
    return statusLabel_->text();
}

void PlayerView::setCall(std::optional<CallAudioJob> job, const QString& title,
                         const QString& problem) {
    player_.setAudio(nullptr);
    waveform_->setAudio(nullptr);
    job_ = job ? std::make_shared<const CallAudioJob>(std::move(*job)) : nullptr;
    afterDecoding_ = AfterDecoding::Nothing;
    title_ = title;
    titleLabel_->setText(title);
    resumeSeconds_ = 0;
    status_ = problem;
    statusLabel_->setText(problem);
    showPosition(0);
    playButton_->setEnabled(false);
    exportButton_->setEnabled(false);
    if (job_) {
        decode();
    }
}

void PlayerView::decode() {
    if (!job_) {
        return;
    }
    if (decoding_) {
        decodeAgain_ = true; // once this one is done
        return;
    }
    decoding_ = true;
    player_.setAudio(nullptr);
    waveform_->setAudio(nullptr);
    playButton_->setEnabled(false);
    exportButton_->setEnabled(false);
    statusLabel_->setText(tr("Decoding the call's voice..."));
    watcher_.setFuture(QtConcurrent::run([job = job_, timing = timing()] {
        Rendered rendered{std::make_shared<media::CallAudio>(), {}};
        std::string error;
        if (!job->render(timing, *rendered.audio, error)) {
            rendered.audio.reset();
            rendered.error = QString::fromStdString(error);
        }
        return rendered;
    }));
}

void PlayerView::decoded() {
    if (decodeAgain_) {
        decodeAgain_ = false;
        decode();
        return;
    }
    decoding_ = false;
    const Rendered rendered = watcher_.result();
    const AfterDecoding then = std::exchange(afterDecoding_, AfterDecoding::Nothing);
    if (!rendered.audio) {
        statusLabel_->setText(tr("The call cannot be played: %1").arg(rendered.error));
        if (then != AfterDecoding::Nothing) {
            QApplication::beep();
        }
        return;
    }
    player_.setAudio(rendered.audio);
    waveform_->setAudio(rendered.audio);
    const auto resume = static_cast<std::uint64_t>(resumeSeconds_ * 8000);
    if (resume > 0) {
        player_.seek(resume);
    }
    showPosition(player_.position());
    playButton_->setEnabled(rendered.audio->hasSound());
    exportButton_->setEnabled(rendered.audio->hasSound());
    showReport();
    emit audioReady();
    if (then == AfterDecoding::Play) {
        togglePlay();
    } else if (then == AfterDecoding::Export) {
        exportAudio();
    }
}

void PlayerView::showReport() {
    const media::CallAudio* audio = player_.audio();
    QStringList lines;
    const QString sides[2] = {tr("Caller"), tr("Callee")};
    for (int side = 0; side < 2 && audio != nullptr; ++side) {
        const media::ChannelReport& channel = audio->channels[side];
        if (!channel.present) {
            lines << tr("%1: no voice.").arg(sides[side]);
            continue;
        }
        QString line = tr("%1: %2, %3 payloads decoded")
                           .arg(sides[side], QString::fromStdString(channel.codec))
                           .arg(channel.decoded);
        if (channel.lost > 0) {
            line += tr(", %1 lost").arg(channel.lost);
        }
        if (channel.rejected > 0) {
            line += tr(", %1 refused by the decoder (played as silence)").arg(channel.rejected);
        }
        if (channel.cutByCapture > 0) {
            line +=
                tr(", %1 cut short by the capture (played as silence)").arg(channel.cutByCapture);
        }
        if (!channel.problem.empty()) {
            line += QStringLiteral("; ") + QString::fromStdString(channel.problem);
        }
        lines << line + QLatin1Char('.');
    }
    if (!player_.error().isEmpty()) {
        lines << player_.error();
    }
    statusLabel_->setText(lines.join(QLatin1Char('\n')));
}

void PlayerView::togglePlay() {
    if (isDecoding()) {
        afterDecoding_ = AfterDecoding::Play; // a call just chosen: played once decoded
        return;
    }
    if (player_.isPlaying()) {
        player_.pause();
        return;
    }
    if (!player_.play()) {
        showReport(); // says why: no sound output, or no audio
        QApplication::beep();
    }
}

void PlayerView::exportAudio() {
    if (isDecoding()) {
        afterDecoding_ = AfterDecoding::Export;
        return;
    }
    const media::CallAudio* audio = player_.audio();
    if (audio == nullptr || !audio->hasSound()) {
        QApplication::beep();
        return;
    }
    const QString name =
        title_.section(QLatin1Char(':'), 0, 0).simplified().replace(' ', '-').toLower();
    const auto path = panels_.chooseSaveDestination(
        QDir::homePath(),
        (name.isEmpty() ? QStringLiteral("call") : name) +
            (timing() == media::Timing::Sent ? "-as-sent" : "-as-arrived"),
        QStringLiteral("wav"));
    if (!path) {
        return;
    }
    std::string error;
    if (!media::writeWav(QFile::encodeName(*path).toStdString(), *audio, error)) {
        statusLabel_->setText(
            tr("The audio was not exported: %1").arg(QString::fromStdString(error)));
        QApplication::beep();
        return;
    }
    statusLabel_->setText(tr("Exported to %1").arg(*path));
}

void PlayerView::showPosition(std::uint64_t frame) {
    waveform_->setPosition(frame);
    const media::CallAudio* audio = player_.audio();
    positionLabel_->setText(audio == nullptr ? QString()
                                             : clock(static_cast<double>(frame) / 8000.0) + " / " +
                                                   clock(audio->seconds()));
}
