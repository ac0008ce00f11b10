#pragma once

#include "capture/CaptureTarget.h"

#include <cstdint>
#include <optional>
#include <string>

class FrameList;
class LiveFileRecord;

// What a capture knows of its runs: what the last one read (a file or an
// interface), where its frames start in the list, how far a load has got,
// and how the last one that ended did.
class RunFacts {
public:
    void startLive(std::string interfaceName, std::size_t firstFrame);
    void startLoad(std::string path, std::uint64_t fileSize, std::size_t firstFrame);
    // A worker said its run ended; it is announced once its frames are followed.
    void ended(const RunSummary& summary) { pendingEnd_ = summary; }
    // Makes the pending end the last run's; false where none is pending.
    bool takeEnd();

    // The loaded file's name (without its folder), or "NAME (live)" for the
    // interface a live run opened; empty before any.
    [[nodiscard]] std::string sourceName() const;
    // The share of the loaded file read, from the last frame delivered.
    [[nodiscard]] std::optional<double> loadedShare(const FrameList& frames) const;
    // The loaded file, or the file the last live run wrote.
    [[nodiscard]] std::string lastRunFile(const LiveFileRecord* liveFiles) const;
    [[nodiscard]] const std::string& loadedFile() const { return loadedFile_; }
    [[nodiscard]] bool isLoading() const { return loading_; }
    [[nodiscard]] std::size_t firstFrame() const { return firstFrame_; }
    [[nodiscard]] const RunSummary& lastSummary() const { return lastSummary_; }

private:
    std::string loadedFile_;    // empty for a live run
    std::string liveInterface_; // the interface the last live run opened
    bool loading_ = false;
    std::uint64_t loadedFileSize_ = 0;
    std::size_t firstFrame_ = 0;
    std::optional<RunSummary> pendingEnd_; // ended, not yet announced
    RunSummary lastSummary_;
};
