#pragma once

#include "app/CaptureFollowers.h"
#include "app/FrameStore.h"
#include "app/RunFacts.h"
#include "capture/CaptureServices.h"
#include "capture/CaptureTarget.h"
#include "capture/RingFiles.h"
#include "decrypt/FrameDecryption.h"

#include <QObject>
#include <QString>
#include <QVariantMap>

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>

class KvPCAPCapture;
class PacketTap;

// A key or text of CaptureKeys.h as the capture's map holds it.
[[nodiscard]] QString keyText(std::string_view text);

// One row of the capture list: its display properties (`title`, `reference`,
// `button`, `status`, `filter`), the frames delivered so far, and whether a
// worker runs for it. Lives on the main thread; workers reach it only through
// the hand-off, and only isInProgress() is read from their threads.
//
// It starts the runs and says what changed; the work is its parts': the
// frames (FrameStore), what follows them (CaptureFollowers) and what is known
// of the runs (RunFacts).

class KvIAXCapture final : public QObject,
                           public CaptureTarget,
                           public std::enable_shared_from_this<KvIAXCapture> {
    Q_OBJECT
public:
    // Captures are shared with the workers that fill them, and are always
    // destroyed on the main thread, whoever lets go of them last.
    static std::shared_ptr<KvIAXCapture> create(const CaptureServices& services);
    ~KvIAXCapture() override;

    [[nodiscard]] const QVariantMap& properties() const { return properties_; }
    void setProperties(const QVariantMap& map);
    [[nodiscard]] QVariant valueForKey(const QString& key) const { return properties_.value(key); }
    // A null value removes the key.
    void setValueForKey(const QString& key, const QVariant& value);

    FrameList& iaxFrames() { return frames_.list(); }
    [[nodiscard]] const FrameList& iaxFrames() const { return frames_.list(); }
    // The list's first record, or nothing: work spread over time that finds
    // another first record knows the list was replaced meanwhile.
    [[nodiscard]] const KvIAXFrame* firstFrame() const { return frames_.first(); }
    void setIaxFrames(const FrameList& frames);
    void appendFrames(FrameList&& frames) override;
    void holdUntilFollowed(std::shared_ptr<void> token) override;
    // Lets go of the records before position `count` that every follower
    // has taken in (the calls, and the quality trackers); positions stay.
    // For a reader that prints frames as they come and never looks back.
    void releaseFramesBefore(std::size_t count);
    // Whether each record goes as soon as the calls and the quality trackers
    // have taken it in, those of the problems found excepted: for a reader
    // of the calls, streams and problems alone, whose memory then grows with
    // the calls rather than with the file. Their voice is then decoded again
    // from the file to be listened to. Set before a load.
    void setReleasesFollowedFrames(bool releases) { releasesFollowed_ = releases; }
    [[nodiscard]] bool releasesFollowedFrames() const { return releasesFollowed_; }
    // Frame `number` (from 1), where it is still held or a problem keeps it.
    [[nodiscard]] const KvIAXFrame* frameOf(std::uint32_t number) const {
        return frames_.frameOf(number);
    }
    // The secrets the runs open encrypted calls with.
    [[nodiscard]] std::vector<std::string> secrets() const;

    [[nodiscard]] bool isInProgress() const override {
        return isInProgress_.load(std::memory_order_acquire);
    }
    void setIsInProgress(bool inProgress);
    [[nodiscard]] bool hasCapturedFrames() const { return hasCapturedFrames_; }
    // What the last run read: the loaded file's name (without its folder),
    // or "NAME (live)" for the interface a live run opened; empty before any.
    [[nodiscard]] std::string sourceName() const { return run_.sourceName(); }
    // Whether a file load runs now (from loadCapture to the end of its run).
    [[nodiscard]] bool isLoading() const { return run_.isLoading(); }
    // The share of the loaded file read so far, from the position of the
    // last frame delivered: 0 to 1; nothing for a live run or standard input.
    [[nodiscard]] std::optional<double> loadedShare() const {
        return run_.loadedShare(frames_.list());
    }
    // Whether a live run is capturing now (a file load is not live).
    [[nodiscard]] bool isLiveRunning() const { return isInProgress() && run_.loadedFile().empty(); }
    [[nodiscard]] std::uint64_t liveRunGeneration() const override {
        return liveRunGeneration_.load(std::memory_order_acquire);
    }
    // What the last worker run that ended did.
    [[nodiscard]] const RunSummary& lastRunSummary() const { return run_.lastSummary(); }
    // The calls and registrations in the frame list, followed as frames are
    // appended (frame numbers are 1-based positions in the list).
    [[nodiscard]] const calls::CallTracker& callTracker() const { return followers_.calls(); }
    // Whether calls are followed at all (on by default); a tool that only
    // prints frames saves the work.
    void setFollowsCalls(bool follows) { followsCalls_ = follows; }
    // How many frames, from the first, the calls were followed through.
    [[nodiscard]] std::size_t trackedFrameCount() const { return trackedFrames_; }
    // Whether the voice streams' quality (figures, round trips, receiver
    // reports, DTMF) and the capture's problems are followed with the calls,
    // judged with `options`; nothing turns it off (the default: a tool that
    // only prints frames saves the work). Changed once frames arrived, the
    // frames so far are followed again.
    void setFollowsQuality(std::optional<quality::QualityOptions> options);
    [[nodiscard]] const quality::StreamTracker* streamTracker() const {
        return followers_.streams();
    }
    // What listening heard of each call's sides (the share of time with
    // voice), by call, caller first: the little of it the figures need.
    using HeardActivity = CaptureFollowers::HeardActivity;
    [[nodiscard]] HeardActivity heardActivity() const { return followers_.heardActivity(); }
    // The streams' figures so far, as quality::analyzeStreams gives them,
    // with the activity listening found; empty unless followed.
    [[nodiscard]] std::vector<quality::StreamFigures> streamFigures() const {
        return followers_.streamFigures(heardActivity());
    }
    // Every problem found so far, in frame order; empty unless followed. The
    // list is charged to `charge` (of the capture's budget), which is to be
    // kept with it; nothing where the memory limit cannot take it.
    [[nodiscard]] std::optional<std::vector<quality::Problem>>
    problems(MemoryCharge& charge) const {
        return followers_.problemsOf(heardActivity(), charge);
    }
    // The same two, given what listening heard. They read the trackers
    // alone, so they may run on another thread while the trackers are held
    // (see holdTrackers); at tens of millions of frames they take a while.
    [[nodiscard]] std::vector<quality::StreamFigures>
    streamFigures(const HeardActivity& heard) const {
        return followers_.streamFigures(heard);
    }
    [[nodiscard]] std::optional<std::vector<quality::Problem>>
    problemsOf(const HeardActivity& heard, MemoryCharge& charge) const {
        return followers_.problemsOf(heard, charge);
    }
    // For a reader of the calls, streams and problems trackers on another
    // thread. Taken on the main thread and let go on any; while one is held,
    // whatever would change those trackers waits for it to be let go.
    [[nodiscard]] std::shared_ptr<void> holdTrackers() const { return followers_.hold(); }
    // Call `index`'s worse direction's MOS and what its signalling says,
    // with the digits heard in band where none were signalled.
    [[nodiscard]] quality::CallVerdict callVerdict(std::size_t index) const {
        return followers_.callVerdict(index);
    }
    // Every DTMF digit, signalled and heard in band, in frame order.
    [[nodiscard]] std::vector<calls::DtmfEvent> dtmfEvents() const {
        return followers_.dtmfEvents();
    }
    // What listening to the calls' voice found, in `calls` order.
    void addListening(const std::vector<std::size_t>& calls, std::vector<CallListening> found);
    // The calls before this one were listened to (or passed over).
    [[nodiscard]] std::size_t listenedCalls() const { return followers_.listenedCalls(); }
    void setListenedCalls(std::size_t calls) { followers_.setListenedCalls(calls); }
    // Sets the stream's activity from what listening found.
    void addActivity(quality::StreamFigures& stream) const { followers_.addActivity(stream); }
    // What listening to call `index`'s voice found; nothing before it was.
    [[nodiscard]] const CallListening* listening(std::size_t index) const {
        return followers_.listening(index);
    }
    // The file holding the packets of the last run's frames (the loaded file,
    // or the file the last live run wrote), and the first of those frames.
    [[nodiscard]] std::string lastRunFile() const { return run_.lastRunFile(services_.liveFiles); }
    // The file the last load read; empty where the last run was live.
    [[nodiscard]] const std::string& loadedFile() const { return run_.loadedFile(); }
    [[nodiscard]] std::size_t lastRunFirstFrame() const { return run_.firstFrame(); }
    // Every packet of the runs started from now on, shown to `tap` on the
    // worker as it is decoded (see PacketTap).
    void setPacketTap(std::shared_ptr<PacketTap> tap) { packetTap_ = std::move(tap); }
    // Live runs started from now on write a ring of files instead of the
    // temporary file (where `ring` is active).
    void setLiveRing(RingSettings ring) { liveRing_ = std::move(ring); }
    // The last run's packets that were opened with a key, to read them back in clear.
    [[nodiscard]] std::shared_ptr<const OpenedPackets> openedPackets() const {
        return openedPackets_;
    }
    // The budget that the capture's frames and what is made of them are
    // charged to (none: no limit).
    [[nodiscard]] const std::shared_ptr<MemoryBudget>& memoryBudget() const {
        return services_.memoryBudget;
    }

    void startCapture();
    void loadCapture(const QString& path);
    // The path as the file system's bytes, which need not be valid UTF-8.
    void loadCapture(std::string pathBytes);
    void stopCapture();
    // Calls the capture's work off: a running live capture stops, a file load
    // ends at its next packet (the frames read stay). For a capture that
    // leaves the list, and for Cancel; the next start or load runs again.
    void cancel();
    void setPacketLimit(std::optional<std::uint64_t> limit) { packetLimit_ = limit; }
    [[nodiscard]] std::optional<std::uint64_t> packetLimit() const override { return packetLimit_; }
    [[nodiscard]] bool isCancelled() const override {
        return cancelled_.load(std::memory_order_acquire);
    }

    // "<KvIAXCapture: 0x...>": names the class and the address.
    [[nodiscard]] QString description() const;

    void setPropertyText(std::string_view key, std::string_view text) override;
    void workerRunEnded(const RunSummary& summary) override;

signals:
    void propertyChanged(const QString& key);
    void propertiesReplaced();
    // Rows [first, first + count) were appended to the frame list.
    void framesAppended(qsizetype first, qsizetype count);
    // The frame list was replaced or changed other than by appending.
    void framesReset();
    // The calls or registrations changed with the frames last appended.
    void callsChanged();
    // What listening to the calls' voice found changed.
    void listeningChanged();
    void isInProgressChanged(bool inProgress);
    void hasCapturedFramesChanged(bool hasCapturedFrames);
    // A worker's run for this capture has ended.
    void runEnded();

private:
    explicit KvIAXCapture(const CaptureServices& services);
    void setHasCapturedFrames(bool value);
    // A run's worker, with the secrets of the moment.
    std::unique_ptr<KvPCAPCapture> makeWorker();
    // Follows the calls through the frames not yet followed, or through
    // `mostFrames` of them, queueing the rest for the next turn of the loop.
    void trackCalls(
        std::size_t mostFrames = SIZE_MAX,
        std::chrono::steady_clock::time_point until = std::chrono::steady_clock::time_point::max());
    void queueTracking();
    // Emits runEnded for the run that ended, once its frames are followed.
    void announceRunEnd();
    // Follows what is left at once, and announces a run's end still due:
    // before a new run starts.
    void finishTracking();
    // Followed in a turn of the event loop: at most this many frames, and no
    // longer than about this long. The time matters on large captures, where
    // a fresh page of a tracker's list may take milliseconds to come.
    static constexpr std::size_t framesTrackedAtOnce = 32'768;
    static constexpr auto trackingSliceTime = std::chrono::milliseconds(10);
    void announceAppended();
    // The records let go of once followed, those of problems excepted.
    void releaseFollowed() { frames_.releaseFollowed(followers_.problems(), trackedFrames_); }

    CaptureServices services_;
    QVariantMap properties_;
    FrameStore frames_;
    bool releasesFollowed_ = false;
    qsizetype announcedFrames_ = 0;
    // Read by the worker at every packet: kept on a cache line of their own,
    // so that the main thread's writes to its counters nearby (one a frame
    // while following calls) do not take the line from the worker each time.
    alignas(64) std::atomic<bool> isInProgress_{false};
    std::atomic<bool> cancelled_{false};
    std::atomic<std::uint64_t> liveRunGeneration_{0};
    std::optional<std::uint64_t> packetLimit_;
    alignas(64) bool hasCapturedFrames_ = false;
    CaptureFollowers followers_;
    std::size_t trackedFrames_ = 0;
    bool trackingQueued_ = false;
    bool followsCalls_ = true;
    RunFacts run_;
    std::shared_ptr<OpenedPackets> openedPackets_ = std::make_shared<OpenedPackets>();
    std::shared_ptr<PacketTap> packetTap_;
    RingSettings liveRing_;
};
