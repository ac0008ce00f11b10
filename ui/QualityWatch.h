#pragma once

#include "quality/Problems.h"
#include "ui/FrameTableModel.h"
#include "ui/ProblemTableModel.h"

#include <QObject>
#include <QPointer>
#include <QElapsedTimer>
#include <QFutureWatcher>
#include <QTimer>

#include <optional>
#include <string>
#include <vector>

class KvIAXCapture;
class ListeningRun;
class ProblemsView;
class QMenu;
class QTabWidget;
class QWidget;

// How the selected capture's calls sounded, in the window: the jitter buffer
// they are judged with (View > Jitter Buffer, remembered), listening to
// their voice once a run ends, the Problems tab, the frame rows coloured by
// their problems. Problems are worked out again when a run ends, when
// listening finds more and, during a run, every few seconds while the tab is
// shown: each time is a pass over every stream, made on a worker (a run that
// changes the trackers meanwhile waits for it). refreshProblems() works them
// out at once.
class QualityWatch final : public QObject {
    Q_OBJECT
public:
    QualityWatch(QTabWidget* tabs, QMenu* view, FrameTableModel& frames, QWidget* window);

    void setCapture(KvIAXCapture* capture);
    [[nodiscard]] ProblemsView* problemsView() const { return view_; }
    [[nodiscard]] const std::vector<quality::Problem>& problems() const { return *problems_; }
    [[nodiscard]] double jitterBufferMs() const { return options_.jitterBufferMs; }
    void setJitterBufferMs(double milliseconds);
    // The problems of one frame as its details show them
    // ("[Expert Info (Warning/lostVoice): ...]").
    [[nodiscard]] std::vector<std::string> expertLines(std::uint32_t frame) const;
    // "listening to the calls' voice (40 %)", or why it could not; empty
    // when there is nothing to say.
    [[nodiscard]] QString statusText() const;
    // Whether listening runs or problems wait to be worked out.
    [[nodiscard]] bool isBusy() const;
    // Works the problems out now (normally done on a timer).
    void refreshProblems();

signals:
    // A problem's row was chosen (`open`: activated, to be looked at).
    void frameChosen(quint32 frameNumber, bool open);
    // What the calls' figures, the problems or the status text say changed.
    void changed();
    // The calls are judged otherwise: another jitter buffer, or listening
    // ended with their activity and in-band digits.
    void judgingChanged();

private:
    void buildJitterBufferMenu(QMenu* view);
    void scheduleProblems(int delayMs);
    // Works the problems out on a worker, and shows them once they are.
    void refreshProblemsInBackground();
    void takeWorkedOutProblems();
    // A list of problems with the frames it marks in the frame table: both
    // worked out together, so that a worker can make the second too.
    struct ShownProblems {
        std::vector<quality::Problem> problems;
        FrameTableModel::ProblemFrames marked;
        std::optional<ProblemTableModel::ArrangedRows> rows; // as the table shows them
        std::optional<ProblemTableModel::Counts> counts;
        std::shared_ptr<MemoryCharge> charge; // the list's, kept with it
        bool listed = true;                   // false where the limit refused it
    };
    static ShownProblems shownProblemsOf(std::optional<std::vector<quality::Problem>> problems,
                                         std::shared_ptr<MemoryCharge> charge);
    void showProblems(ShownProblems shown, const QElapsedTimer& took);

    QTabWidget* tabs_;
    FrameTableModel& frames_;
    QWidget* window_;
    ProblemsView* view_;
    ListeningRun* listening_;
    QPointer<KvIAXCapture> capture_;
    QList<QMetaObject::Connection> connections_;
    quality::QualityOptions options_;
    SharedProblems problems_ = std::make_shared<const std::vector<quality::Problem>>();
    std::shared_ptr<MemoryCharge> problemsCharge_; // what problems_ is charged
    bool problemsListed_ = true;                   // false where the memory limit refused the list
    QTimer problemsTimer_;
    qint64 lastRefreshMs_ = 0; // the main thread's time the last problems took
    // The problems being worked out on a worker. Only the main thread
    // touches these; the worker gets the capture, a hold on its trackers and
    // what listening heard, and hands back the list and the frames it marks.
    QFutureWatcher<ShownProblems> working_;
    quint64 generation_ = 0;        // counts refreshes and captures
    quint64 workingGeneration_ = 0; // the one the worker's list belongs to
    bool againAfterWork_ = false;   // asked for again while it worked
    qint64 mainThreadMs_ = 0;       // what was taken for it here
    QString listeningProblem_;
};
