#include "app/RunFacts.h"

#include "capture/LiveCaptureFile.h"
#include "dissect/KvIAXFrame.h"

#include <algorithm>

void RunFacts::startLive(std::string interfaceName, std::size_t firstFrame) {
    loading_ = false;
    loadedFileSize_ = 0;
    loadedFile_.clear();
    liveInterface_ = std::move(interfaceName);
    firstFrame_ = firstFrame;
}

void RunFacts::startLoad(std::string path, std::uint64_t fileSize, std::size_t firstFrame) {
    loadedFile_ = std::move(path);
    loading_ = true;
    loadedFileSize_ = fileSize;
    firstFrame_ = firstFrame;
}

bool RunFacts::takeEnd() {
    if (!pendingEnd_) {
        return false;
    }
    loading_ = false;
    lastSummary_ = *pendingEnd_;
    pendingEnd_.reset();
    return true;
}

std::string RunFacts::sourceName() const {
    if (!loadedFile_.empty()) {
        const auto slash = loadedFile_.find_last_of('/');
        return slash == std::string::npos ? loadedFile_ : loadedFile_.substr(slash + 1);
    }
    return liveInterface_.empty() ? std::string() : liveInterface_ + " (live)";
}

std::optional<double> RunFacts::loadedShare(const FrameList& frames) const {
    if (loadedFile_.empty() || loadedFileSize_ == 0) {
        return std::nullopt;
    }
    if (!loading_) {
        return 1.0;
    }
    if (frames.empty() || frames.back()->facts().fileOffset == FrameFacts::unknownFileOffset) {
        return 0.0;
    }
    const FrameFacts& last = frames.back()->facts();
    return std::min(1.0, static_cast<double>(last.fileOffset + last.capturedLength) /
                             static_cast<double>(loadedFileSize_));
}

std::string RunFacts::lastRunFile(const LiveFileRecord* liveFiles) const {
    if (!loadedFile_.empty()) {
        return loadedFile_;
    }
    const auto live = liveFiles != nullptr ? liveFiles->movablePath() : std::nullopt;
    return live.value_or(std::string());
}
