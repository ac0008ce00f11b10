#pragma once

#include "platform/CaptureAlert.h"
#include "capture/CaptureTarget.h"
#include "capture/MainThreadHandoff.h"

#include <atomic>
#include <map>
#include <string>
#include <vector>

// Runs every task at once, on the calling thread, and counts them.
class InlineHandoff final : public MainThreadHandoff {
public:
    void runAndWait(const std::function<void()>& task) override {
        ++waits;
        task();
    }
    void post(std::function<void()> task) override {
        ++posts;
        task();
    }
    [[nodiscard]] bool isMainThread() const override { return true; }

    int waits = 0;
    int posts = 0;
};

class RecordingAlert final : public CaptureAlert {
public:
    void showCaptureFailed(std::string_view text) override { messages.emplace_back(text); }
    std::vector<std::string> messages;
};

// A capture as a worker sees it, recording what the worker does to it.
class FakeCaptureTarget final : public CaptureTarget {
public:
    [[nodiscard]] bool isInProgress() const override { return inProgress.load(); }
    void appendFrames(FrameList&& list) override {
        frames.append(std::move(list));
        deliveredSizes.push_back(frames.size());
    }
    // Follows at once, or, where `followsWhenTold`, holds the blocks'
    // tokens until follow().
    void holdUntilFollowed(std::shared_ptr<void> token) override {
        if (followsWhenTold) {
            unfollowed.push_back(std::move(token));
        }
    }
    void follow() { unfollowed.clear(); }
    bool followsWhenTold = false;
    std::vector<std::shared_ptr<void>> unfollowed;
    void setPropertyText(std::string_view key, std::string_view text) override {
        propertyWrites.emplace_back(std::string(key) + "=" + std::string(text));
    }
    [[nodiscard]] std::uint64_t liveRunGeneration() const override { return generation.load(); }
    void workerRunEnded(const RunSummary&) override { ++runsEnded; }

    std::atomic<bool> inProgress{true};
    std::atomic<std::uint64_t> generation{1};
    FrameList frames;
    std::vector<std::size_t> deliveredSizes; // list size after each delivery
    std::vector<std::string> propertyWrites;
    int runsEnded = 0;
};
