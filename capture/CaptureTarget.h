#pragma once

#include "dissect/KvIAXFrame.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

// What a worker's run did, told to its capture when the run has ended.
struct RunSummary {
    bool live = false;
    std::uint64_t packetsRead = 0;
    // Live runs: what the capture library counted (pcap_stats), when it could.
    bool haveStatistics = false;
    std::uint64_t packetsReceived = 0;
    std::uint64_t packetsDropped = 0;
    std::uint64_t packetsDroppedByInterface = 0;
};

// What a capture worker needs of the capture it fills. Only isInProgress(),
// liveRunGeneration() and isCancelled() may be called from the worker's own thread;
// everything else runs on the main thread, through the hand-off.
class CaptureTarget {
public:
    virtual ~CaptureTarget() = default;

    [[nodiscard]] virtual bool isInProgress() const = 0;
    // Counts the live starts of the capture. A live worker goes on only while
    // it is the newest: a capture stopped and started again before its worker
    // saw the flag cleared has a new run, and the old worker must end.
    [[nodiscard]] virtual std::uint64_t liveRunGeneration() const = 0;
    // The capture's work was called off (it left the capture list, or the
    // application is quitting): a file load ends at its next packet.
    [[nodiscard]] virtual bool isCancelled() const { return false; }
    // How many packets a file load reads at most (quorvex-dump -c); none: all.
    // Read from the worker's thread, set before the run starts.
    [[nodiscard]] virtual std::optional<std::uint64_t> packetLimit() const { return std::nullopt; }

    // Moves a block of decoded frames to the end of the capture's list.
    virtual void appendFrames(FrameList&& frames) = 0;
    // Keeps `token` until the frames appended so far are followed (their
    // calls taken in), then lets go of it; at once where nothing follows
    // them. A file load hands over its next block only once the token of the
    // last is let go of, so that decoding runs at most a block ahead of
    // following also when the processor is shared: the frames decoded and
    // not yet followed would each make a call past the memory limit.
    virtual void holdUntilFollowed(std::shared_ptr<void> token) { token.reset(); }
    virtual void setPropertyText(std::string_view key, std::string_view text) = 0;
    // The worker's run has ended; it no longer refers to the capture.
    virtual void workerRunEnded(const RunSummary& summary) = 0;
};
