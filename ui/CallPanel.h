#pragma once

#include "app/CallSelection.h"
#include "dissect/FrameDisplay.h"

#include <QFutureWatcher>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <functional>
#include <optional>
#include <vector>

class CallFlowView;
class FilePanels;
class KvIAXCapture;
class PlayerView;
class QMenu;
class QTabWidget;
class QWidget;
class StreamsView;

// What the selected calls are made of: their ladder and the player of the
// first (beside the packet details), their streams (beside the frames), and
// the Voice menu.
//
// Each of the three is made when its tab is first in sight after a
// selection, and the ladder a few calls at a time: at millions of frames
// each takes a while, and mostly one of them is looked at.
class CallPanel final : public QObject {
    Q_OBJECT
public:
    CallPanel(QTabWidget* upper, QTabWidget* lower, FilePanels& panels, QWidget* window);

    // Shows the capture's calls `calls` (indexes, rising); none: clears.
    void showCalls(const KvIAXCapture* capture, const std::vector<std::size_t>& calls);
    void addVoiceMenu(QMenu* voice);
    // What the calls are judged with changed (the jitter buffer), or what
    // listening found of them: the selection's streams and ladder are made
    // again, each when in sight, the player left as it is.
    void refreshJudged();
    // The ladder's time column, as View > Time Format says and as the frame
    // table shows the step's frame (since the time `reference`, a frame
    // number, where there is one).
    void setTimeFormat(framedisplay::TimeFormat format, std::uint32_t reference);
    // The ladder's comments column: a frame's comment; asked again by refreshNotes().
    void setNotes(std::function<QString(quint32)> noteOf);
    void refreshNotes();

    [[nodiscard]] CallFlowView* flowView() const { return flowView_; }
    [[nodiscard]] StreamsView* streamsView() const { return streamsView_; }
    [[nodiscard]] PlayerView* playerView() const { return playerView_; }

signals:
    // A ladder arrow or a stream's packet was chosen: its frame.
    void frameActivated(quint32 frameNumber, bool fromLadder);
    // Something the status line should say ("memory limit reached: ...").
    void note(const QString& text);
    // The ladder's context menu asked to comment a frame.
    void commentRequested(quint32 frameNumber);

private:
    enum Part { Ladder = 1, Streams = 2, Player = 4 };
    // Makes what is in sight and not yet made of the selection.
    void showPartsInSight();
    void makeLadder();
    void stepLadder();
    void showLadder(calls::Flow flow);
    void makeStreams();
    void makePlayer();

    QTabWidget* upper_;
    QTabWidget* lower_;
    QWidget* window_;
    CallFlowView* flowView_;
    StreamsView* streamsView_;
    PlayerView* playerView_;
    QPointer<const KvIAXCapture> capture_; // of the ladder shown
    QPointer<const KvIAXCapture> selected_;
    std::vector<std::size_t> calls_;                     // selected, indexes into selected_'s calls
    int unmade_ = 0;                                     // Parts not yet made of them
    std::optional<callselection::LadderInSteps> ladder_; // being made
    QTimer ladderSteps_;
    // A large ladder's steps are put in order on a worker; what it returns
    // for a selection changed since is dropped.
    QFutureWatcher<calls::Flow> ordering_;
    // So are a large selection's streams' figures, each stream's packets
    // gone over again.
    QFutureWatcher<std::vector<quality::StreamFigures>> figuring_;
    std::uint64_t selection_ = 0, orderingSelection_ = 0, figuringSelection_ = 0;
};
