#include "ui/QualityWatch.h"

#include "app/KvIAXCapture.h"
#include "ui/FrameTableModel.h"
#include "ui/LetGoElsewhere.h"
#include "ui/ListeningRun.h"
#include "ui/ProblemsView.h"

#include <QActionGroup>
#include <QElapsedTimer>
#include <QInputDialog>
#include <QMenu>
#include <QSettings>
#include <QTabWidget>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <utility>

namespace {

constexpr int afterRunMs = 50;    // once a run ends or listening finds more
constexpr int duringRunMs = 5000; // while frames arrive

} // namespace

QualityWatch::QualityWatch(QTabWidget* tabs, QMenu* view, FrameTableModel& frames, QWidget* window)
    : QObject(window), tabs_(tabs), frames_(frames), window_(window), view_(new ProblemsView(tabs)),
      listening_(new ListeningRun(this)) {
    options_.jitterBufferMs =
        std::clamp(QSettings().value("quality/jitterBufferMs", 50.0).toDouble(), 1.0, 10000.0);
    tabs->addTab(view_, tr("&Problems"));
    connect(view_, &ProblemsView::frameChosen, this, &QualityWatch::frameChosen);
    problemsTimer_.setObjectName("problems refresh");
    problemsTimer_.setSingleShot(true);
    connect(&problemsTimer_, &QTimer::timeout, this, &QualityWatch::refreshProblemsInBackground);
    connect(&working_, &QFutureWatcher<ShownProblems>::finished, this,
            &QualityWatch::takeWorkedOutProblems);
    connect(listening_, &ListeningRun::progressed, this, [this] {
        scheduleProblems(afterRunMs);
        emit changed();
        if (!listening_->isRunning()) {
            emit judgingChanged();
        }
    });
    connect(listening_, &ListeningRun::failed, this, [this](const QString& reason) {
        listeningProblem_ = tr("activity and in-band DTMF are unknown: %1").arg(reason);
        emit changed();
    });
    buildJitterBufferMenu(view);
}

void QualityWatch::buildJitterBufferMenu(QMenu* view) {
    QMenu* menu = view->addMenu(tr("&Jitter Buffer"));
    auto* group = new QActionGroup(menu);
    bool known = false;
    for (const int milliseconds : {20, 50, 100, 200}) {
        QAction* action = menu->addAction(tr("%1 ms").arg(milliseconds));
        action->setCheckable(true);
        action->setChecked(options_.jitterBufferMs == milliseconds);
        known = known || action->isChecked();
        group->addAction(action);
        connect(action, &QAction::triggered, this,
                [this, milliseconds] { setJitterBufferMs(milliseconds); });
    }
    QAction* custom = menu->addAction(tr("&Custom..."));
    custom->setCheckable(true);
    custom->setChecked(!known);
    group->addAction(custom);
    connect(custom, &QAction::triggered, this, [this] {
        bool ok = false;
        const double chosen = QInputDialog::getDouble(
            window_, tr("Jitter Buffer"), tr("The receivers' fixed jitter buffer (ms):"),
            options_.jitterBufferMs, 1, 10000, 0, &ok);
        if (ok) {
            setJitterBufferMs(chosen);
        }
    });
}

void QualityWatch::setJitterBufferMs(double milliseconds) {
    options_.jitterBufferMs = milliseconds;
    QSettings().setValue("quality/jitterBufferMs", milliseconds);
    if (capture_ != nullptr) {
        capture_->setFollowsQuality(options_); // follows the frames so far again
        refreshProblems();
    }
    emit changed();
    emit judgingChanged();
}

void QualityWatch::setCapture(KvIAXCapture* capture) {
    for (const auto& connection : connections_) {
        disconnect(connection);
    }
    connections_.clear();
    capture_ = capture;
    ++generation_;
    lastRefreshMs_ = 0; // another capture: its own cost
    listeningProblem_.clear();
    problems_ = std::make_shared<const std::vector<quality::Problem>>();
    if (capture == nullptr) {
        listening_->cancel();
        view_->setProblems(nullptr, problems_);
        frames_.setProblemFrames({});
        return;
    }
    capture->setFollowsQuality(options_);
    connections_ << connect(capture, &KvIAXCapture::runEnded, this, [this] {
        listening_->listen(capture_);
        scheduleProblems(afterRunMs);
    });
    connections_ << connect(capture, &KvIAXCapture::callsChanged, this, [this] {
        if (tabs_->currentWidget() == view_ && !problemsTimer_.isActive()) {
            scheduleProblems(duringRunMs);
        }
    });
    connections_ << connect(capture, &KvIAXCapture::framesReset, this, [this] {
        lastRefreshMs_ = 0; // other frames: their own cost
        scheduleProblems(afterRunMs);
    });
    listening_->listen(capture);
    refreshProblems();
}

void QualityWatch::scheduleProblems(int delayMs) {
    // Each refresh costs the main thread time that grows with the capture
    // (the streams' figures, and showing the list): the next waits twenty
    // times the last, so that they take at most a twentieth of it. A minute
    // at most: the list must not wait for ever.
    constexpr qint64 longestWaitMs = 60'000;
    delayMs =
        static_cast<int>(std::max<qint64>(delayMs, std::min(20 * lastRefreshMs_, longestWaitMs)));
    if (!problemsTimer_.isActive() || problemsTimer_.remainingTime() > delayMs) {
        problemsTimer_.start(delayMs);
    }
}

void QualityWatch::refreshProblems() {
    problemsTimer_.stop();
    ++generation_; // what a worker is still working out is out of date
    QElapsedTimer took;
    took.start();
    auto charge =
        std::make_shared<MemoryCharge>(capture_ != nullptr ? capture_->memoryBudget() : nullptr);
    auto problems =
        capture_ != nullptr ? capture_->problems(*charge) : std::vector<quality::Problem>{};
    showProblems(shownProblemsOf(std::move(problems), std::move(charge)), took);
}

void QualityWatch::refreshProblemsInBackground() {
    if (capture_ == nullptr) {
        refreshProblems();
        return;
    }
    if (working_.isRunning()) {
        againAfterWork_ = true; // what changed meanwhile is worked out next
        return;
    }
    // What listening heard is taken here; the worker makes the streams'
    // figures and the list from the trackers alone, which stay as they are
    // while it holds them. A capture that changes them meanwhile waits for it.
    QElapsedTimer took;
    took.start();
    auto heard = capture_->heardActivity();
    mainThreadMs_ = took.elapsed();
    workingGeneration_ = ++generation_;
    // The table's rows are arranged there too, unless sorted by their text,
    // which is read from frames this thread may be appending to.
    auto arrangement = view_->model().arrangement();
    working_.setFuture(
        QtConcurrent::run([capture = capture_.data(), held = capture_->holdTrackers(),
                           heard = std::move(heard), arrangement]() mutable {
            auto charge = std::make_shared<MemoryCharge>(capture->memoryBudget());
            auto problems = capture->problemsOf(heard, *charge);
            held.reset();
            ShownProblems shown = shownProblemsOf(std::move(problems), std::move(charge));
            shown.counts = ProblemTableModel::countsOf(shown.problems);
            if (arrangement.column != ProblemTableModel::Text) {
                shown.rows = ProblemTableModel::ArrangedRows{
                    arrangement, ProblemTableModel::rowsOf(shown.problems, arrangement, nullptr)};
            }
            return shown;
        }));
}

void QualityWatch::takeWorkedOutProblems() {
    // Asked for while the worker was busy, for this capture or another one
    // chosen since: worked out next in any case.
    const bool again = std::exchange(againAfterWork_, false);
    if (workingGeneration_ == generation_ && capture_ != nullptr) {
        QElapsedTimer took;
        took.start();
        // Taken, not copied: the list may be millions of problems.
        showProblems(working_.future().takeResult(), took);
        lastRefreshMs_ += mainThreadMs_;
    }
    if (again) {
        scheduleProblems(afterRunMs);
    }
}

QualityWatch::ShownProblems
QualityWatch::shownProblemsOf(std::optional<std::vector<quality::Problem>> problems,
                              std::shared_ptr<MemoryCharge> charge) {
    // A list the memory limit cannot take is not made: none is shown, and
    // the status says why.
    const bool listed = problems.has_value();
    ShownProblems shown{listed ? std::move(*problems) : std::vector<quality::Problem>{},
                        {},
                        std::nullopt,
                        std::nullopt,
                        std::move(charge),
                        listed};
    for (const auto& problem : shown.problems) {
        auto& marked = shown.marked;
        if (!marked.empty() && marked.back().first == problem.frame) {
            marked.back().second = std::min(marked.back().second, problem.severity());
        } else {
            marked.emplace_back(problem.frame, problem.severity());
        }
    }
    return shown;
}

void QualityWatch::showProblems(ShownProblems shown, const QElapsedTimer& took) {
    // The list shown before may be hundreds of megabytes: it is let go of
    // on a worker once nothing here holds it.
    SharedProblems before = std::move(problems_);
    std::shared_ptr<MemoryCharge> beforeCharge = std::move(problemsCharge_);
    problems_ = std::make_shared<const std::vector<quality::Problem>>(std::move(shown.problems));
    problemsCharge_ = std::move(shown.charge);
    problemsListed_ = shown.listed;
    frames_.setProblemFrames(std::move(shown.marked));
    view_->setProblems(capture_, problems_, std::move(shown.rows), shown.counts);
    letGoElsewhere(std::make_pair(std::move(before), std::move(beforeCharge)));
    lastRefreshMs_ = took.elapsed();
    emit changed();
}

std::vector<std::string> QualityWatch::expertLines(std::uint32_t frame) const {
    std::vector<std::string> lines;
    if (capture_ == nullptr) {
        return lines;
    }
    auto it = std::lower_bound(problems_->begin(), problems_->end(), frame,
                               [](const quality::Problem& problem, std::uint32_t number) {
                                   return problem.frame < number;
                               });
    for (; it != problems_->end() && it->frame == frame; ++it) {
        std::string severity = quality::severityName(it->severity());
        severity[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(severity[0])));
        lines.push_back("[Expert Info (" + severity + "/" + quality::kindName(it->kind) +
                        "): " + quality::problemText(*it, capture_->iaxFrames()) + "]");
    }
    return lines;
}

bool QualityWatch::isBusy() const {
    return listening_->isRunning() || problemsTimer_.isActive() || working_.isRunning();
}

QString QualityWatch::statusText() const {
    if (listening_->isRunning() && listening_->total() > 0) {
        return tr("listening to the calls' voice (%1 %)")
            .arg(100 * listening_->done() / listening_->total());
    }
    if (!problemsListed_) {
        return tr("the problems are not listed: they would pass the memory limit (--memory-limit)");
    }
    return listeningProblem_;
}
