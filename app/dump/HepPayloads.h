#pragma once

#include "capture/PacketTap.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

// The UDP payloads of a run's packets as they were captured, taken on the
// worker as each is decoded and handed to the HEP feed by frame on the main
// thread. Nothing is read back from the capture file, which a long live run
// rotates away. Held only from the worker's tap to the frame's turn to be
// printed: at most the blocks on their way to the main thread.
class HepPayloads final : public PacketTap {
public:
    // On the worker thread.
    void tap(const CapturedPacket& packet, const KvIAXFrame& frame) override;

    // On the main thread: the payload of frame `index` (0-based), in
    // `payload`; frames before it are let go. False where the frame carries
    // none (not IAX2, or not yet tapped).
    bool take(std::size_t index, std::vector<std::uint8_t>& payload);
    // Lets go of the frames before `index`: printing is past them.
    void forgetBefore(std::size_t index);

private:
    std::mutex mutex_;
    std::deque<std::vector<std::uint8_t>> payloads_; // by frame, from first_
    std::size_t first_ = 0;
};
