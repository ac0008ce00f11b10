#include "app/KvIAXCapture.h"

#include "capturefile/PacketFileReader.h"

#include "capture/CaptureKeys.h"
#include "capture/KvPCAPCapture.h"
#include "capture/LiveCaptureFile.h"
#include "capture/MainThreadHandoff.h"
#include "capture/WorkerThreads.h"
#include "common/Log.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>

QString keyText(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::shared_ptr<KvIAXCapture> KvIAXCapture::create(const CaptureServices& services) {
    MainThreadHandoff* handoff = services.handoff;
    return std::shared_ptr<KvIAXCapture>(new KvIAXCapture(services), [handoff](KvIAXCapture* c) {
        if (handoff->isMainThread()) {
            delete c;
        } else {
            handoff->post([c] { delete c; });
        }
    });
}

KvIAXCapture::KvIAXCapture(const CaptureServices& services)
    : services_(services), trackingCharge_(services.memoryBudget) {
    kvlog::line("In KvIAXCapture init");
    properties_.insert(keyText(capturekeys::title),
                       QString::asprintf("N %p", static_cast<void*>(this)));
    // Non-owning: a capture must not keep itself alive through its own map.
    properties_.insert(keyText(capturekeys::reference),
                       QVariant::fromValue(static_cast<QObject*>(this)));
    properties_.insert(keyText(capturekeys::button), keyText(capturekeys::buttonStart));
    properties_.insert(keyText(capturekeys::status), keyText(capturekeys::statusIdle));
    properties_.insert(keyText(capturekeys::captureFilter),
                       keyText(capturekeys::defaultCaptureFilter));
}

KvIAXCapture::~KvIAXCapture() {
    waitForTrackers();
    kvlog::line("In IAXCapture dealloc");
    if (isInProgress()) {
        stopCapture();
    }
}

void KvIAXCapture::setProperties(const QVariantMap& map) {
    if (&map == &properties_) {
        return;
    }
    properties_ = map;
    emit propertiesReplaced();
}

void KvIAXCapture::setValueForKey(const QString& key, const QVariant& value) {
    if (value.isNull()) {
        properties_.remove(key);
    } else {
        properties_.insert(key, value);
    }
    emit propertyChanged(key);
}

void KvIAXCapture::setPropertyText(std::string_view key, std::string_view text) {
    setValueForKey(keyText(key), keyText(text));
}

void KvIAXCapture::setIaxFrames(const FrameList& frames) {
    if (&frames != &iaxFrames_) {
        iaxFrames_ = frames;
        announcedFrames_ = static_cast<qsizetype>(iaxFrames_.size());
        emit framesReset();
        trackedFrames_ = iaxFrames_.size() + 1; // start over
        trackCalls();
        return;
    }
    // The list was changed in place.
    const auto size = static_cast<qsizetype>(iaxFrames_.size());
    if (size < announcedFrames_) {
        announcedFrames_ = size;
        emit framesReset();
        trackedFrames_ = iaxFrames_.size() + 1; // start over
        trackCalls();
        return;
    }
    announceAppended();
}

void KvIAXCapture::appendFrames(FrameList&& frames) {
    iaxFrames_.append(std::move(frames));
    announceAppended();
}

void KvIAXCapture::holdUntilFollowed(std::shared_ptr<void> token) {
    if (followsCalls_ && !cancelled_.load(std::memory_order_relaxed) &&
        trackedFrames_ < iaxFrames_.size()) {
        unfollowedBlocks_.emplace_back(iaxFrames_.size(), std::move(token));
    }
}

void KvIAXCapture::letFollowedBlocksGo(bool all) {
    const auto followed =
        std::find_if(unfollowedBlocks_.begin(), unfollowedBlocks_.end(),
                     [&](const auto& block) { return !all && block.first > trackedFrames_; });
    unfollowedBlocks_.erase(unfollowedBlocks_.begin(), followed);
}

void KvIAXCapture::releaseFramesBefore(std::size_t count) {
    iaxFrames_.releaseBefore(followsCalls_ ? std::min(count, trackedFrames_) : count);
}

void KvIAXCapture::announceAppended() {
    const auto size = static_cast<qsizetype>(iaxFrames_.size());
    const qsizetype first = announcedFrames_;
    announcedFrames_ = size;
    emit framesAppended(first, size - first);
    // Followed after the hand-off returns, so that the worker decodes meanwhile.
    if (followsCalls_) {
        queueTracking();
    }
}

void KvIAXCapture::queueTracking() {
    if (trackingQueued_) {
        return;
    }
    trackingQueued_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            trackingQueued_ = false;
            trackCalls(framesTrackedAtOnce, std::chrono::steady_clock::now() + trackingSliceTime);
        },
        Qt::QueuedConnection);
}

void KvIAXCapture::trackCalls(std::size_t mostFrames,
                              std::chrono::steady_clock::time_point deadline) {
    waitForTrackers();
    bool changed = false;
    if (trackedFrames_ > iaxFrames_.size()) {
        callTracker_ = calls::CallTracker{}; // the list was replaced
        restartQualityTrackers();
        listening_.clear();
        listenedCalls_ = 0;
        trackedFrames_ = 0;
        letFollowedBlocksGo(true); // they were of the list replaced
        changed = true;
    }
    // Frames let go of cannot be followed again.
    trackedFrames_ = std::max(trackedFrames_, iaxFrames_.released());
    const std::size_t until = iaxFrames_.size() - trackedFrames_ > mostFrames
                                  ? trackedFrames_ + mostFrames
                                  : iaxFrames_.size();
    // The clock is read once every so many frames: a read costs what
    // following a frame does.
    constexpr std::size_t framesBetweenClockReads = 1024;
    for (std::size_t sinceClock = 0; trackedFrames_ < until; ++trackedFrames_) {
        if (++sinceClock == framesBetweenClockReads) {
            sinceClock = 0;
            if (std::chrono::steady_clock::now() >= deadline) {
                break;
            }
        }
        const KvIAXFrame& frame = *iaxFrames_[trackedFrames_];
        const auto number = static_cast<std::uint32_t>(trackedFrames_ + 1);
        callTracker_.add(frame, number);
        if (streamTracker_) {
            streamTracker_->add(frame, number);
            problemTracker_->add(frame, number);
        }
        changed = true;
    }
    if (changed && releasesFollowed_) {
        releaseFollowed();
    }
    if (changed) {
        trackingCharge_.forceTo(
            callTracker_.heldBytes() +
            (streamTracker_ ? streamTracker_->heldBytes() + problemTracker_->heldBytes() : 0) +
            listening_.capacity() * sizeof(listening_[0]));
        emit callsChanged();
    }
    letFollowedBlocksGo();
    if (trackedFrames_ < iaxFrames_.size()) {
        queueTracking(); // the rest, after the loop has served what waits
    } else {
        announceRunEnd();
    }
}

void KvIAXCapture::releaseFollowed() {
    if (problemTracker_) {
        const auto& found = problemTracker_->found();
        for (; problemsKept_ < found.size(); ++problemsKept_) {
            const std::uint32_t number = found[problemsKept_].frame;
            if (number > iaxFrames_.released() && number <= iaxFrames_.size()) {
                problemFrames_.emplace(number, iaxFrames_[number - 1]);
            }
        }
    }
    iaxFrames_.releaseBefore(trackedFrames_);
}

const KvIAXFrame* KvIAXCapture::frameOf(std::uint32_t number) const {
    if (number > iaxFrames_.released() && number <= iaxFrames_.size()) {
        return iaxFrames_[number - 1].get();
    }
    const auto kept = problemFrames_.find(number);
    return kept != problemFrames_.end() ? kept->second.get() : nullptr;
}

std::vector<std::string> KvIAXCapture::secrets() const {
    return services_.secrets != nullptr ? *services_.secrets : std::vector<std::string>{};
}

void KvIAXCapture::restartQualityTrackers() {
    waitForTrackers();
    problemFrames_.clear();
    problemsKept_ = 0;
    streamTracker_ =
        quality_ ? std::make_unique<quality::StreamTracker>(callTracker_, *quality_) : nullptr;
    problemTracker_ = quality_ ? std::make_unique<quality::ProblemTracker>(callTracker_) : nullptr;
}

void KvIAXCapture::setFollowsQuality(std::optional<quality::QualityOptions> options) {
    waitForTrackers();
    if (options == quality_ && (streamTracker_ != nullptr) == options.has_value()) {
        return;
    }
    quality_ = options;
    if (trackedFrames_ == 0) {
        restartQualityTrackers();
        return;
    }
    // The calls are followed again with the new trackers beside them.
    callTracker_ = calls::CallTracker{};
    restartQualityTrackers();
    trackedFrames_ = 0;
    trackCalls();
}

KvIAXCapture::HeardActivity KvIAXCapture::heardActivity() const {
    HeardActivity heard(listening_.size());
    for (std::size_t call = 0; call < listening_.size(); ++call) {
        if (listening_[call]) {
            for (int side = 0; side < 2; ++side) {
                if (const auto& stream = listening_[call]->sides[side]) {
                    heard[call][static_cast<std::size_t>(side)] = stream->activity();
                }
            }
        }
    }
    return heard;
}

std::vector<quality::StreamFigures> KvIAXCapture::streamFigures() const {
    return streamFigures(heardActivity());
}

std::vector<quality::StreamFigures> KvIAXCapture::streamFigures(const HeardActivity& heard) const {
    if (!streamTracker_) {
        return {};
    }
    auto figures = streamTracker_->figures();
    for (auto& stream : figures) {
        if (stream.call < heard.size()) {
            stream.activity = heard[stream.call][stream.fromCaller ? 0 : 1];
        }
    }
    return figures;
}

void KvIAXCapture::addActivity(quality::StreamFigures& stream) const {
    if (const CallListening* heard = listening(stream.call)) {
        if (const auto& side = heard->sides[stream.fromCaller ? 0 : 1]) {
            stream.activity = side->activity();
        }
    }
}

std::optional<std::vector<quality::Problem>> KvIAXCapture::problems(MemoryCharge& charge) const {
    return problemsOf(heardActivity(), charge);
}

std::optional<std::vector<quality::Problem>> KvIAXCapture::problemsOf(const HeardActivity& heard,
                                                                       MemoryCharge& charge) const {
    if (!streamTracker_) {
        return std::vector<quality::Problem>{};
    }
    return quality::chargedProblems(*problemTracker_, callTracker_, *streamTracker_,
                                     streamFigures(heard), charge);
}

std::shared_ptr<void> KvIAXCapture::holdTrackers() const {
    {
        const std::lock_guard lock(trackerHolds_->mutex);
        ++trackerHolds_->count;
    }
    return std::shared_ptr<void>(nullptr, [holds = trackerHolds_](void*) {
        const std::lock_guard lock(holds->mutex);
        --holds->count;
        holds->released.notify_all();
    });
}

void KvIAXCapture::waitForTrackers() {
    std::unique_lock lock(trackerHolds_->mutex);
    trackerHolds_->released.wait(lock, [this] { return trackerHolds_->count == 0; });
}

quality::CallVerdict KvIAXCapture::callVerdict(std::size_t index) const {
    if (!streamTracker_) {
        return {};
    }
    quality::CallVerdict verdict = streamTracker_->verdict(index);
    const CallListening* heard = listening(index);
    if (heard == nullptr || !verdict.quality.dtmf.empty()) {
        return verdict;
    }
    std::vector<calls::DtmfEvent> tones;
    for (const auto& side : heard->sides) {
        if (side) {
            tones.insert(tones.end(), side->tones.begin(), side->tones.end());
        }
    }
    std::stable_sort(tones.begin(), tones.end(),
                     [](const auto& a, const auto& b) { return a.frame < b.frame; });
    for (const auto& tone : tones) {
        verdict.quality.dtmf.push_back(tone.digit);
    }
    return verdict;
}

std::vector<calls::DtmfEvent> KvIAXCapture::dtmfEvents() const {
    std::vector<calls::DtmfEvent> events;
    if (!streamTracker_) {
        return events;
    }
    for (std::size_t call = 0; call < streamTracker_->callCount(); ++call) {
        const auto& signalled = streamTracker_->signalling(call)->dtmf();
        events.insert(events.end(), signalled.begin(), signalled.end());
        if (const CallListening* heard = listening(call)) {
            for (const auto& side : heard->sides) {
                if (side) {
                    events.insert(events.end(), side->tones.begin(), side->tones.end());
                }
            }
        }
    }
    std::stable_sort(events.begin(), events.end(),
                     [](const auto& a, const auto& b) { return a.frame < b.frame; });
    return events;
}

void KvIAXCapture::addListening(const std::vector<std::size_t>& calls,
                                std::vector<CallListening> found) {
    listening_.resize(callTracker_.calls().size());
    for (std::size_t i = 0; i < calls.size() && i < found.size(); ++i) {
        if (calls[i] < listening_.size()) {
            listening_[calls[i]] = std::move(found[i]);
            listenedCalls_ = std::max(listenedCalls_, calls[i] + 1);
        }
    }
    emit listeningChanged();
}

const CallListening* KvIAXCapture::listening(std::size_t index) const {
    return index < listening_.size() && listening_[index] ? &*listening_[index] : nullptr;
}

void KvIAXCapture::setIsInProgress(bool inProgress) {
    isInProgress_.store(inProgress, std::memory_order_release);
    emit isInProgressChanged(inProgress);
}

void KvIAXCapture::setHasCapturedFrames(bool value) {
    hasCapturedFrames_ = value;
    emit hasCapturedFramesChanged(value);
}

void KvIAXCapture::startCapture() {
    finishTracking();
    cancelled_.store(false, std::memory_order_release); // a Cancel called off the run before
    loading_ = false;
    loadedFileSize_ = 0;
    setIsInProgress(true);
    loadedFile_.clear();
    lastRunFirstFrame_ = iaxFrames_.size();
    setHasCapturedFrames(false);
    // The worker reads nothing of the capture's map: what it needs is copied here.
    KvPCAPCapture::LiveRun run;
    const LiveCaptureSettings settings =
        services_.liveSettings != nullptr ? *services_.liveSettings : LiveCaptureSettings{};
    run.interfaceName = settings.interfaceName;
    liveInterface_ = settings.interfaceName;
    run.temporaryFile = settings.temporaryFile;
    run.helperPath = settings.helperPath;
    run.captureFilter =
        properties_.value(keyText(capturekeys::captureFilter)).toString().toStdString();
    run.generation = liveRunGeneration_.fetch_add(1, std::memory_order_acq_rel) + 1;
    auto worker = makeWorker();
    services_.threads->start([worker = std::move(worker), capture = shared_from_this(),
                              run]() mutable { worker->startCapture(std::move(capture), run); });
}

std::unique_ptr<KvPCAPCapture> KvIAXCapture::makeWorker() {
    auto worker = std::make_unique<KvPCAPCapture>(services_);
    // Packets are numbered per run, and so are the keys that opened them.
    openedPackets_->clear();
    worker->setDecryption(services_.secrets != nullptr ? *services_.secrets
                                                       : std::vector<std::string>{},
                          openedPackets_);
    return worker;
}

void KvIAXCapture::loadCapture(const QString& path) {
    loadCapture(QFile::encodeName(path).toStdString());
}

void KvIAXCapture::loadCapture(std::string pathBytes) {
    finishTracking();
    cancelled_.store(false, std::memory_order_release);
    setIsInProgress(true);
    loadedFile_ = pathBytes;
    loading_ = true;
    loadedFileSize_ = !whyNotReadAgain(pathBytes).empty()
                          ? 0
                          : static_cast<std::uint64_t>(std::max<qint64>(
                                0, QFileInfo(QFile::decodeName(pathBytes.c_str())).size()));
    lastRunFirstFrame_ = iaxFrames_.size();
    auto worker = makeWorker();
    worker->setSourceFilename(std::move(pathBytes));
    services_.threads->start([worker = std::move(worker), capture = shared_from_this()]() mutable {
        worker->loadCapture(std::move(capture));
    });
}

void KvIAXCapture::stopCapture() {
    setIsInProgress(false);
    if (!iaxFrames_.empty()) {
        setHasCapturedFrames(true);
    }
}

std::string KvIAXCapture::lastRunFile() const {
    if (!loadedFile_.empty()) {
        return loadedFile_;
    }
    const auto live =
        services_.liveFiles != nullptr ? services_.liveFiles->movablePath() : std::nullopt;
    return live.value_or(std::string());
}

void KvIAXCapture::cancel() {
    cancelled_.store(true, std::memory_order_release);
    letFollowedBlocksGo(true); // the worker must not wait to end

    if (isInProgress()) {
        stopCapture();
    }
}

QString KvIAXCapture::description() const {
    return QString::asprintf("<KvIAXCapture: %p>", static_cast<const void*>(this));
}

std::string KvIAXCapture::sourceName() const {
    if (!loadedFile_.empty()) {
        const auto slash = loadedFile_.find_last_of('/');
        return slash == std::string::npos ? loadedFile_ : loadedFile_.substr(slash + 1);
    }
    return liveInterface_.empty() ? std::string() : liveInterface_ + " (live)";
}

std::optional<double> KvIAXCapture::loadedShare() const {
    if (loadedFile_.empty() || loadedFileSize_ == 0) {
        return std::nullopt;
    }
    if (!loading_) {
        return 1.0;
    }
    if (iaxFrames_.empty() ||
        iaxFrames_.back()->facts().fileOffset == FrameFacts::unknownFileOffset) {
        return 0.0;
    }
    const FrameFacts& last = iaxFrames_.back()->facts();
    return std::min(1.0, static_cast<double>(last.fileOffset + last.capturedLength) /
                             static_cast<double>(loadedFileSize_));
}

void KvIAXCapture::workerRunEnded(const RunSummary& summary) {
    // Whoever learns that the run ended finds its calls followed to the end:
    // the end is announced once the frames still to follow are, a turn of
    // the loop at a time.
    pendingRunEnd_ = summary;
    if (followsCalls_ && trackedFrames_ < iaxFrames_.size()) {
        queueTracking();
        return;
    }
    announceRunEnd();
}

void KvIAXCapture::finishTracking() {
    if (followsCalls_ && trackedFrames_ < iaxFrames_.size()) {
        trackCalls();
    }
    announceRunEnd();
}

void KvIAXCapture::announceRunEnd() {
    if (!pendingRunEnd_) {
        return;
    }
    loading_ = false;
    lastRunSummary_ = *pendingRunEnd_;
    pendingRunEnd_.reset();
    emit runEnded();
}
