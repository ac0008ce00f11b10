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
    : services_(services), followers_(services.memoryBudget) {
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
    followers_.waitForReaders();
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
    FrameList& list = frames_.list();
    if (&frames != &list) {
        list = frames;
        announcedFrames_ = static_cast<qsizetype>(list.size());
        emit framesReset();
        trackedFrames_ = list.size() + 1; // start over
        trackCalls();
        return;
    }
    // The list was changed in place.
    const auto size = static_cast<qsizetype>(list.size());
    if (size < announcedFrames_) {
        announcedFrames_ = size;
        emit framesReset();
        trackedFrames_ = list.size() + 1; // start over
        trackCalls();
        return;
    }
    announceAppended();
}

void KvIAXCapture::appendFrames(FrameList&& frames) {
    frames_.list().append(std::move(frames));
    announceAppended();
}

void KvIAXCapture::holdUntilFollowed(std::shared_ptr<void> token) {
    if (followsCalls_ && !cancelled_.load(std::memory_order_relaxed) &&
        trackedFrames_ < frames_.list().size()) {
        frames_.holdUntilFollowed(std::move(token));
    }
}

void KvIAXCapture::releaseFramesBefore(std::size_t count) {
    frames_.list().releaseBefore(followsCalls_ ? std::min(count, trackedFrames_) : count);
}

void KvIAXCapture::announceAppended() {
    const auto size = static_cast<qsizetype>(frames_.list().size());
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
    followers_.waitForReaders();
    const FrameList& list = frames_.list();
    bool changed = false;
    if (trackedFrames_ > list.size()) { // the list was replaced
        followers_.restart();
        followers_.forgetListening();
        frames_.forgetProblemFrames();
        trackedFrames_ = 0;
        frames_.letFollowedBlocksGo(0, true); // they were of the list replaced
        changed = true;
    }
    // Frames let go of cannot be followed again.
    trackedFrames_ = std::max(trackedFrames_, list.released());
    const std::size_t until =
        list.size() - trackedFrames_ > mostFrames ? trackedFrames_ + mostFrames : list.size();
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
        followers_.follow(*list[trackedFrames_], static_cast<std::uint32_t>(trackedFrames_ + 1));
        changed = true;
    }
    if (changed && releasesFollowed_) {
        releaseFollowed();
    }
    if (changed) {
        followers_.chargeHeld();
        emit callsChanged();
    }
    frames_.letFollowedBlocksGo(trackedFrames_);
    if (trackedFrames_ < list.size()) {
        queueTracking(); // the rest, after the loop has served what waits
    } else {
        announceRunEnd();
    }
}

std::vector<std::string> KvIAXCapture::secrets() const {
    return services_.secrets != nullptr ? *services_.secrets : std::vector<std::string>{};
}

void KvIAXCapture::setFollowsQuality(std::optional<quality::QualityOptions> options) {
    if (!followers_.setQuality(options)) {
        return;
    }
    frames_.forgetProblemFrames();
    if (trackedFrames_ == 0) {
        return;
    }
    // The calls are followed again with the new trackers beside them.
    followers_.restart();
    trackedFrames_ = 0;
    trackCalls();
}

void KvIAXCapture::addListening(const std::vector<std::size_t>& calls,
                                std::vector<CallListening> found) {
    followers_.addListening(calls, std::move(found));
    emit listeningChanged();
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
    setIsInProgress(true);
    setHasCapturedFrames(false);
    // The worker reads nothing of the capture's map: what it needs is copied here.
    KvPCAPCapture::LiveRun run;
    const LiveCaptureSettings settings =
        services_.liveSettings != nullptr ? *services_.liveSettings : LiveCaptureSettings{};
    run.interfaceName = settings.interfaceName;
    run_.startLive(settings.interfaceName, frames_.list().size());
    run.temporaryFile = settings.temporaryFile;
    run.helperPath = settings.helperPath;
    run.ring = liveRing_;
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
    worker->setPacketTap(packetTap_);
    return worker;
}

void KvIAXCapture::loadCapture(const QString& path) {
    loadCapture(QFile::encodeName(path).toStdString());
}

void KvIAXCapture::loadCapture(std::string pathBytes) {
    finishTracking();
    cancelled_.store(false, std::memory_order_release);
    setIsInProgress(true);
    const std::uint64_t size =
        !whyNotReadAgain(pathBytes).empty()
            ? 0
            : static_cast<std::uint64_t>(
                  std::max<qint64>(0, QFileInfo(QFile::decodeName(pathBytes.c_str())).size()));
    run_.startLoad(pathBytes, size, frames_.list().size());
    auto worker = makeWorker();
    worker->setSourceFilename(std::move(pathBytes));
    services_.threads->start([worker = std::move(worker), capture = shared_from_this()]() mutable {
        worker->loadCapture(std::move(capture));
    });
}

void KvIAXCapture::stopCapture() {
    setIsInProgress(false);
    if (!frames_.list().empty()) {
        setHasCapturedFrames(true);
    }
}

void KvIAXCapture::cancel() {
    cancelled_.store(true, std::memory_order_release);
    frames_.letFollowedBlocksGo(0, true); // the worker must not wait to end

    if (isInProgress()) {
        stopCapture();
    }
}

QString KvIAXCapture::description() const {
    return QString::asprintf("<KvIAXCapture: %p>", static_cast<const void*>(this));
}

void KvIAXCapture::workerRunEnded(const RunSummary& summary) {
    // Whoever learns that the run ended finds its calls followed to the end:
    // the end is announced once the frames still to follow are, a turn of
    // the loop at a time.
    run_.ended(summary);
    if (followsCalls_ && trackedFrames_ < frames_.list().size()) {
        queueTracking();
        return;
    }
    announceRunEnd();
}

void KvIAXCapture::finishTracking() {
    if (followsCalls_ && trackedFrames_ < frames_.list().size()) {
        trackCalls();
    }
    announceRunEnd();
}

void KvIAXCapture::announceRunEnd() {
    if (run_.takeEnd()) {
        emit runEnded();
    }
}
