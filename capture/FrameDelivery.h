#pragma once

#include "capture/CaptureServices.h"
#include "capture/CaptureTarget.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <memory>
#include <string_view>

// The worker's side of the boundary to the main thread: the delivery buffer,
// the delivery clock, the two delivery policies, and the error report.
// Used by exactly one worker thread; what it hands over crosses through the
// main-thread hand-off, which it waits for.
class FrameDelivery final {
public:
    using Clock = CaptureServices::Clock;
    // A live delivery is due when the clock was reset more than this long ago.
    static constexpr auto deliveryThreshold = std::chrono::seconds(1);
    // A file load hands over what it decoded once this many frames are
    // buffered or this long after its last hand-off, whichever comes first:
    // few enough hand-offs that waking the main thread costs nothing, often
    // enough that the window fills smoothly.
    static constexpr std::size_t fileBlockFrames = 4096;
    static constexpr auto fileBlockInterval = std::chrono::milliseconds(50);
    // A file load does not wait for its block to be appended: it decodes the
    // next while the main thread appends and follows the last. It waits when
    // this many blocks are handed over and not yet appended: one keeps what a
    // streamed dump holds to two blocks, and more measured no faster.
    static constexpr unsigned fileBlocksInFlight = 1;
    // And when this many are appended and not yet followed (see
    // CaptureTarget::holdUntilFollowed): two keep decoding and following
    // overlapped, and what is decoded ahead of following a few thousand
    // frames, also when the processor is shared.
    static constexpr unsigned fileBlocksUnfollowed = 2;

    explicit FrameDelivery(const CaptureServices& services);

    void beginRun(std::shared_ptr<CaptureTarget> capture);
    // Buffers the frame; delivers the whole buffer when more than a second
    // has passed since the last delivery.
    void applyLivePolicy(std::shared_ptr<KvIAXFrame> frame);
    // A live read that timed out: what is buffered goes once a second also
    // while no packet arrives, so a pause in the traffic holds nothing back.
    void deliverIfDue();
    // Buffers the frame; delivers the buffer as a block (see above).
    void applyFilePolicy(std::shared_ptr<KvIAXFrame> frame);
    // Hands the buffer to the capture on the main thread, waits until it is
    // appended, then empties it.
    void deliver();
    // Delivers what is still buffered, if anything, and waits until every
    // block handed over is appended.
    void deliverRest();
    // Tells the capture on the main thread that the run is over and lets go
    // of it there, so that a capture never dies on a worker thread.
    void endRun(const RunSummary& summary = {});
    // Shows the capture where its live run writes, when not at the usual path.
    void showCaptureFile(const std::string& path);
    // Marks the capture as failed and shows the alert; waits until it is dismissed.
    void setErrorOnCapture(CaptureTarget& capture, std::string_view message);

    // On the main thread: appends the delivery buffer to the capture's list.
    void updateIaxCapture(CaptureTarget& capture);

    [[nodiscard]] const FrameList& buffer() const { return buffer_; }
    [[nodiscard]] const std::shared_ptr<CaptureTarget>& capture() const { return capture_; }

private:
    [[nodiscard]] Clock::time_point now() const;
    // Hands the buffer over without waiting for it to be appended, once
    // fewer than fileBlocksInFlight blocks are on their way.
    void handOver();

    CaptureServices services_;
    std::shared_ptr<CaptureTarget> capture_;
    Clock::time_point lastMainThreadUpdate_{};
    Clock::time_point lastHandoff_{};
    FrameList buffer_;
    // Blocks handed over by handOver() and not yet appended or dropped;
    // shared with the tasks, which count themselves out on the main thread.
    std::shared_ptr<std::atomic<unsigned>> blocksInFlight_ =
        std::make_shared<std::atomic<unsigned>>(0);
    // Blocks handed over and not yet followed by their capture, likewise.
    std::shared_ptr<std::atomic<unsigned>> blocksUnfollowed_ =
        std::make_shared<std::atomic<unsigned>>(0);
};
