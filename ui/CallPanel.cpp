#include "ui/CallPanel.h"

#include "app/CallAudioJob.h"
#include "app/CallSelection.h"
#include "app/KvIAXCapture.h"
#include "dissect/FrameDisplay.h"
#include "ui/CallFlowView.h"
#include "ui/PlayerView.h"
#include "ui/StreamsView.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QMenu>
#include <QTabWidget>

CallPanel::CallPanel(QTabWidget* upper, QTabWidget* lower, FilePanels& panels, QWidget* window)
    : QObject(window), upper_(upper), lower_(lower), window_(window),
      flowView_(new CallFlowView(lower)), streamsView_(new StreamsView(upper)),
      playerView_(new PlayerView(panels, lower)) {
    lower->addTab(flowView_, tr("Call F&low"));
    upper->addTab(streamsView_, tr("S&treams"));
    lower->addTab(playerView_, tr("&Player"));

    connect(flowView_, &CallFlowView::commentRequested, this, &CallPanel::commentRequested);
    for (const auto& [title, svg] :
         {std::pair{tr("Export as PNG..."), false}, std::pair{tr("Export as SVG..."), true}}) {
        auto* action = new QAction(title, flowView_);
        connect(action, &QAction::triggered, this, [this, svg = svg] {
            const QString path =
                QFileDialog::getSaveFileName(window_, tr("Export Call Flow"), QDir::homePath(),
                                             svg ? tr("SVG (*.svg)") : tr("PNG (*.png)"));
            if (!path.isEmpty() &&
                !(svg ? flowView_->exportSvg(path) : flowView_->exportPng(path))) {
                QApplication::beep();
            }
        });
        flowView_->addAction(action);
    }
    connect(flowView_, &CallFlowView::frameActivated, this,
            [this](quint32 frame) { emit frameActivated(frame, true); });
    connect(streamsView_, &StreamsView::frameActivated, this,
            [this](quint32 frame) { emit frameActivated(frame, false); });
    connect(streamsView_, &StreamsView::refused, this, &CallPanel::note);
}

void CallPanel::setTimeFormat(framedisplay::TimeFormat format) {
    using framedisplay::TimeFormat;
    const auto seconds = [](double value) { return QString::number(value, 'f', 3); };
    switch (format) {
    case TimeFormat::SinceFirst:
        flowView_->setTimeText(
            [seconds](const auto& step, const auto*) { return seconds(step.seconds); },
            "00000.000");
        break;
    case TimeFormat::SincePrevious:
        flowView_->setTimeText(
            [seconds](const auto& step, const auto* previous) {
                return seconds(previous != nullptr ? step.seconds - previous->seconds : 0.0);
            },
            "00000.000");
        break;
    default:
        // The time of day: a ladder rarely spans midnight, and the date
        // would take the room of the arrows.
        flowView_->setTimeText(
            [this](const auto& step, const auto*) {
                if (capture_ == nullptr || step.frameNumber == 0 ||
                    step.frameNumber > capture_->iaxFrames().size()) {
                    return QString();
                }
                return QString::fromStdString(
                    framedisplay::capturedText(capture_->iaxFrames()[step.frameNumber - 1]->facts(),
                                               TimeFormat::TimeOfDay, nullptr, nullptr));
            },
            "00:00:00.000000");
    }
}

void CallPanel::setNotes(std::function<QString(quint32)> noteOf) {
    flowView_->setNotes(std::move(noteOf));
}

void CallPanel::refreshNotes() {
    flowView_->refreshNotes();
}

void CallPanel::showCalls(const KvIAXCapture* capture, const std::vector<std::size_t>& calls) {
    if (capture == nullptr || calls.empty()) {
        capture_ = nullptr;
        flowView_->clear();
        streamsView_->clear();
        playerView_->setCall(std::nullopt, {}, tr("Select a call to play it."));
        return;
    }
    // The ladder of the selected calls, a column per end.
    auto flow = callselection::ladderOf(*capture, calls);
    QStringList columns;
    for (const auto& end : flow.columns) {
        columns << QString::fromStdString(end.text());
    }
    QStringList labels;
    for (std::size_t i = 0; i < std::min(calls.size(), callselection::mostLadderCalls); ++i) {
        labels << tr("Call %1").arg(calls[i] + 1);
    }
    capture_ = capture;
    flowView_->setFlow(columns, std::move(flow.steps), labels);
    if (calls.size() > callselection::mostLadderCalls) {
        emit note(tr("the ladder shows the first %1 of the %2 calls selected")
                      .arg(callselection::mostLadderCalls)
                      .arg(calls.size()));
    }
    streamsView_->setCalls(capture, callselection::figuresOf(*capture, calls));
    // The player plays the first selected call.
    const auto& first = capture->callTracker().calls()[calls.front()];
    std::string error;
    auto job = CallAudioJob::of(*capture, calls.front(), error);
    playerView_->setCall(std::move(job),
                         QString::fromStdString(callselection::titleOf(first, calls.front())),
                         QString::fromStdString(error));
}

void CallPanel::addVoiceMenu(QMenu* voice) {
    QAction* play = voice->addAction(tr("&Play or Pause the Selected Call"));
    play->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_P));
    connect(play, &QAction::triggered, this, [this] {
        lower_->setCurrentWidget(playerView_);
        playerView_->togglePlay();
    });
    QAction* exportAudio = voice->addAction(tr("&Export the Selected Call's Audio..."));
    exportAudio->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E));
    connect(exportAudio, &QAction::triggered, playerView_, &PlayerView::exportAudio);
    voice->addSeparator();
    QAction* streams = voice->addAction(tr("Show the &Streams"));
    streams->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_T));
    connect(streams, &QAction::triggered, this, [this] { upper_->setCurrentWidget(streamsView_); });
}
