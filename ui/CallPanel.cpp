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
#include <QtConcurrent>

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
    ladderSteps_.setSingleShot(true);
    ladderSteps_.setInterval(0);
    ladderSteps_.setObjectName("ladder steps");
    connect(&ladderSteps_, &QTimer::timeout, this, &CallPanel::stepLadder);
    connect(&ordering_, &QFutureWatcher<calls::Flow>::finished, this, [this] {
        if (orderingSelection_ == selection_ && selected_ != nullptr) {
            showLadder(ordering_.future().takeResult());
        }
    });
    connect(&figuring_, &QFutureWatcher<std::vector<quality::StreamFigures>>::finished, this,
            [this] {
                if (figuringSelection_ == selection_ && selected_ != nullptr) {
                    auto figures = figuring_.future().takeResult();
                    callselection::addActivity(*selected_, figures);
                    streamsView_->setCalls(selected_, std::move(figures));
                }
            });
    connect(upper, &QTabWidget::currentChanged, this, &CallPanel::showPartsInSight);
    connect(lower, &QTabWidget::currentChanged, this, &CallPanel::showPartsInSight);
}

void CallPanel::setTimeFormat(framedisplay::TimeFormat format, std::uint32_t reference) {
    using framedisplay::TimeFormat;
    if (format == TimeFormat::SincePrevious) {
        // Since the ladder's step before, which is not the frame table's row before.
        flowView_->setTimeText(
            [](const auto& step, const auto* previous) {
                return QString::number(previous != nullptr ? step.seconds - previous->seconds : 0.0,
                                       'f', 3);
            },
            "00000.000");
        return;
    }
    // As the frame table's Time column shows the step's frame: since the
    // first frame or the time reference, or the time of day. The ladder
    // rarely spans midnight, and the date would take the room of the arrows.
    const TimeFormat shown = format == TimeFormat::SinceFirst ? format : TimeFormat::TimeOfDay;
    flowView_->setTimeText(
        [this, shown, reference](const auto& step, const auto*) {
            if (capture_ == nullptr || step.frameNumber == 0 ||
                step.frameNumber > capture_->iaxFrames().size()) {
                return QString();
            }
            const FrameList& frames = capture_->iaxFrames();
            if (shown == TimeFormat::SinceFirst && step.frameNumber == reference) {
                return QStringLiteral("*REF*");
            }
            const FrameFacts& first = reference != 0 && reference <= frames.size()
                                          ? frames[reference - 1]->facts()
                                          : frames.front()->facts();
            return QString::fromStdString(framedisplay::capturedText(
                frames[step.frameNumber - 1]->facts(), shown, &first, nullptr));
        },
        shown == TimeFormat::SinceFirst ? "00000.000000" : "00:00:00.000000");
}

void CallPanel::setNotes(std::function<QString(quint32)> noteOf) {
    flowView_->setNotes(std::move(noteOf));
}

void CallPanel::refreshNotes() {
    flowView_->refreshNotes();
}

void CallPanel::showCalls(const KvIAXCapture* capture, const std::vector<std::size_t>& calls) {
    ++selection_;
    ladder_.reset();
    ladderSteps_.stop();
    // What showed the selection before is cleared at once (the player stops
    // decoding it), and made again of this one when in sight.
    capture_ = nullptr;
    flowView_->clear();
    streamsView_->clear();
    if (capture == nullptr || calls.empty()) {
        selected_ = nullptr;
        calls_.clear();
        unmade_ = 0;
        playerView_->setCall(std::nullopt, {}, tr("Select a call to play it."));
        return;
    }
    playerView_->setCall(std::nullopt, {}, {});
    selected_ = capture;
    calls_ = calls;
    unmade_ = Ladder | Streams | Player;
    showPartsInSight();
}

void CallPanel::refreshJudged() {
    if (selected_ == nullptr) {
        return;
    }
    ++selection_; // what a worker still makes for the selection is out of date
    ladder_.reset();
    ladderSteps_.stop();
    unmade_ |= Ladder | Streams;
    showPartsInSight();
}

void CallPanel::showPartsInSight() {
    if (selected_ == nullptr) {
        unmade_ = 0;
        return;
    }
    if ((unmade_ & Ladder) != 0 && lower_->currentWidget() == flowView_) {
        makeLadder();
    }
    if ((unmade_ & Streams) != 0 && upper_->currentWidget() == streamsView_) {
        makeStreams();
    }
    if ((unmade_ & Player) != 0 && lower_->currentWidget() == playerView_) {
        makePlayer();
    }
}

void CallPanel::makeLadder() {
    unmade_ &= ~Ladder;
    ladder_.emplace(*selected_, calls_);
    // A ladder of a few calls is made at once; the steps of calls of
    // millions of frames come in turns of the event loop from the first.
    if (callselection::frameCountOf(*selected_, calls_) < callselection::framesForAWorker) {
        stepLadder();
    } else {
        ladderSteps_.start();
    }
}

void CallPanel::stepLadder() {
    if (!ladder_ || selected_ == nullptr) {
        ladder_.reset();
        return;
    }
    // A slice of about 10 ms, then the window's other events; a ladder of a
    // few calls is made at once.
    if (!ladder_->step(*selected_,
                       std::chrono::steady_clock::now() + std::chrono::milliseconds(10))) {
        ladderSteps_.start();
        return;
    }
    auto flow = ladder_->finishUnordered(*selected_);
    ladder_.reset();
    if (flow.steps.size() < 20'000) {
        calls::putStepsInOrder(flow);
        showLadder(std::move(flow));
        return;
    }
    // An ordering still running for a selection before is no longer
    // watched: it ends on its own, and its steps go with it.
    orderingSelection_ = selection_;
    ordering_.setFuture(QtConcurrent::run([flow = std::move(flow)]() mutable {
        calls::putStepsInOrder(flow);
        return std::move(flow);
    }));
}

void CallPanel::showLadder(calls::Flow flow) {
    // The ladder of the selected calls, a column per end.
    QStringList columns;
    for (const auto& end : flow.columns) {
        columns << QString::fromStdString(end.text());
    }
    QStringList labels;
    for (std::size_t i = 0; i < std::min(calls_.size(), callselection::mostLadderCalls); ++i) {
        labels << tr("Call %1").arg(calls_[i] + 1);
    }
    capture_ = selected_;
    flowView_->setFlow(columns, std::move(flow.steps), labels);
    if (calls_.size() > callselection::mostLadderCalls) {
        emit note(tr("the ladder shows the first %1 of the %2 calls selected")
                      .arg(callselection::mostLadderCalls)
                      .arg(calls_.size()));
    }
}

void CallPanel::makeStreams() {
    unmade_ &= ~Streams;
    if (callselection::frameCountOf(*selected_, calls_) < callselection::framesForAWorker ||
        selected_->streamTracker() == nullptr) {
        streamsView_->setCalls(selected_, callselection::figuresOf(*selected_, calls_));
        return;
    }
    // Millions of packets: their figures are worked out away from the
    // window, from trackers that stay as they are until the worker lets go.
    figuringSelection_ = selection_;
    figuring_.setFuture(QtConcurrent::run(
        [capture = selected_.data(), held = selected_->holdTrackers(), calls = calls_]() mutable {
            auto figures = callselection::trackedFiguresOf(*capture, calls);
            held.reset();
            return figures;
        }));
}

void CallPanel::makePlayer() {
    unmade_ &= ~Player;
    if (calls_.front() >= selected_->callTracker().calls().size()) {
        return; // the capture's list was replaced since
    }
    // The player plays the first selected call.
    const auto& first = selected_->callTracker().calls()[calls_.front()];
    std::string error;
    auto job = CallAudioJob::of(*selected_, calls_.front(), error);
    playerView_->setCall(std::move(job),
                         QString::fromStdString(callselection::titleOf(first, calls_.front())),
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
    exportAudio->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_W));
    connect(exportAudio, &QAction::triggered, this, [this] {
        if ((unmade_ & Player) != 0) {
            makePlayer();
        }
        playerView_->exportAudio();
    });
    voice->addSeparator();
    QAction* streams = voice->addAction(tr("Show the &Streams"));
    streams->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_T));
    connect(streams, &QAction::triggered, this, [this] { upper_->setCurrentWidget(streamsView_); });
}
