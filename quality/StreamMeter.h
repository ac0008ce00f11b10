#pragma once

#include "quality/StreamTypes.h"
#include "common/ChunkedList.h"

#include <cstdint>
#include <optional>
#include <unordered_map>
#include <vector>

namespace quality {

// What went wrong in a stream, frame by frame: the frames that are
// duplicates or came out of order, the first frame after each run of
// missing timestamps, the first frame of each run of late frames.
struct StreamTrouble {
    std::vector<std::uint32_t> duplicates, outOfOrder;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> lossRuns; // frame after, frames missing
    std::vector<std::pair<std::uint32_t, std::uint32_t>> lateRuns; // first frame, how many
    std::uint32_t maxJitterFrame = 0;                              // where the jitter was highest
};

// The figures of one voice stream, taken packet by packet in arrival order:
// each packet gets its delta, jitter and status (duplicate, out of order,
// late for a fixed jitter buffer) as it is added, and the stream's counts
// and extremes follow.
class StreamMeter final {
public:
    explicit StreamMeter(double jitterBufferMs = 50) : jitterBufferMs_(jitterBufferMs) {}
    // Room for about `packets` packets, so that a stream grows in one step.
    void reserve(std::size_t packets) { seen_.reserve(packets); }
    void add(StreamPacket& packet);
    // Counts, delta, jitter, lateness and, where the frame duration is known,
    // expected, lost, the loss pattern and the E-model's verdict for the
    // codec and the call's round trip. Source, destination, codec and times
    // are the caller's.
    [[nodiscard]] StreamFigures figures(std::optional<double> frameMs, std::uint32_t codecMask,
                                        std::optional<double> roundTripMs) const;
    // The stream's troubles, where the frame duration is known for its runs.
    [[nodiscard]] StreamTrouble trouble(std::optional<double> frameMs) const;
    // About how much memory it holds beside itself.
    [[nodiscard]] std::uint64_t heldBytes() const;

private:
    // A distinct timestamp's first arrival: its frame, and whether it was
    // late, in eight bytes (frame numbers stay below 2^31).
    class Arrival {
    public:
        Arrival(std::uint32_t timestamp, std::uint32_t frame, bool late)
            : timestamp_(timestamp), frameAndLate_((frame & 0x7FFFFFFFu) | (late ? 1u << 31 : 0)) {}
        [[nodiscard]] std::uint32_t timestamp() const { return timestamp_; }
        [[nodiscard]] std::uint32_t frame() const { return frameAndLate_ & 0x7FFFFFFFu; }
        [[nodiscard]] bool late() const { return (frameAndLate_ >> 31) != 0; }

    private:
        std::uint32_t timestamp_;
        std::uint32_t frameAndLate_;
    };
    // The timestamps seen so far. Most streams only ever go up, so a
    // timestamp above all before it is new without a look-up; the map is
    // made once one is not.
    class Seen {
    public:
        // True where it was not seen before.
        bool insert(const Arrival& arrival);
        void reserve(std::size_t count) { rising_.reserve(count); }
        [[nodiscard]] std::uint64_t distinct() const { return distinct_; }
        // Every distinct timestamp's first arrival, in timestamp order.
        [[nodiscard]] std::vector<Arrival> sorted() const;
        [[nodiscard]] std::uint64_t heldBytes() const {
            // A map's node: the pair, a link and the allocation's own words.
            return rising_.capacity() * sizeof(Arrival) + map_.size() * 40 +
                   map_.bucket_count() * sizeof(void*);
        }

    private:
        ChunkedList<Arrival> rising_; // while every one so far was higher
        std::unordered_map<std::uint32_t, Arrival> map_;
        std::uint64_t distinct_ = 0;
    };

    double jitterBufferMs_;
    Seen seen_;
    std::uint64_t packets_ = 0, duplicates_ = 0, outOfOrder_ = 0, late_ = 0;
    std::uint32_t smallest_ = 0, largest_ = 0, previousTimestamp_ = 0, firstTimestamp_ = 0;
    double firstArrival_ = 0, previousArrival_ = 0;
    double jitter_ = 0, jitterSum_ = 0, maxJitter_ = 0, maxDelta_ = 0;
    std::uint32_t maxDeltaFrame_ = 0, maxJitterFrame_ = 0;
    std::vector<std::uint32_t> duplicateFrames_, outOfOrderFrames_;
};

// Marks, at the first frame after each gap in the sender's order, how many
// frames never came (`packets` in arrival order, statuses already set).
void markLosses(std::vector<StreamPacket>& packets, double frameMs);

} // namespace quality
